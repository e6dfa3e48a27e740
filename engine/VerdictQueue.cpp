#include "VerdictQueue.h"

#include <string>

TVerdictQueue::TVerdictQueue(TVerifyObserver& out, TJudge judge)
    : Out(out), Judge(std::move(judge)) {}

TVerdictQueue::TEntry* TVerdictQueue::Hold(TFileRecord record) {
  std::lock_guard hold(Mutex);
  return &Queue.emplace_back(TEntry{{}, std::move(record), false, std::nullopt});
}

void TVerdictQueue::Settle(TEntry* entry, std::optional<TContentFailure> failure) {
  std::lock_guard hold(Mutex);
  entry->Failure = std::move(failure);
  entry->Settled = true;
  SendDue();
}

void TVerdictQueue::Drain() {
  TLock lock(Mutex);
  Sent.wait(lock, [this] { return Queue.empty(); });
}

// Needs Mutex held. Sends from the front up to the first file still out.
void TVerdictQueue::SendDue() {
  while (!Queue.empty()) {
    TEntry& front = Queue.front();
    if (front.Held) {
      if (!front.Settled) return;
      TFileRecord& record = *front.Held;
      Judge(record, std::move(front.Failure));
      Out.FileFinished(record);
    } else {
      front.Event(Out);
    }
    Queue.pop_front();
  }
  Sent.notify_all();
}

void TVerdictQueue::Pass(TEvent event) {
  std::lock_guard hold(Mutex);
  if (Queue.empty())
    event(Out);
  else
    Queue.push_back(TEntry{std::move(event), std::nullopt, false, std::nullopt});
}

// Each event keeps its own copies: it may be sent after its arguments are gone.
void TVerdictQueue::RunStarted() {
  Pass([](TVerifyObserver& o) { o.RunStarted(); });
}
void TVerdictQueue::BufferFailed(std::size_t size) {
  Pass([size](TVerifyObserver& o) { o.BufferFailed(size); });
}
void TVerdictQueue::ItemStarted(std::string_view item) {
  Pass([item = std::string(item)](TVerifyObserver& o) { o.ItemStarted(item); });
}
void TVerdictQueue::DirectoryStarted(std::string_view path, Platform::TAttributes attributes) {
  Pass([path = std::string(path), attributes](TVerifyObserver& o) {
    o.DirectoryStarted(path, attributes);
  });
}
void TVerdictQueue::NoMatchingFiles() {
  Pass([](TVerifyObserver& o) { o.NoMatchingFiles(); });
}
void TVerdictQueue::FileStarted(std::string_view path, std::int64_t size,
                                Platform::TAttributes attributes) {
  Pass([path = std::string(path), size, attributes](TVerifyObserver& o) {
    o.FileStarted(path, size, attributes);
  });
}
void TVerdictQueue::FileFinished(const TFileRecord& record) {
  Pass([record](TVerifyObserver& o) { o.FileFinished(record); });
}
void TVerdictQueue::FileProgress(const TFileRecord& soFar) {
  Pass([soFar](TVerifyObserver& o) { o.FileProgress(soFar); });
}
void TVerdictQueue::DirectorySkipped() {
  Pass([](TVerifyObserver& o) { o.DirectorySkipped(); });
}
void TVerdictQueue::ItemMissing(std::string_view item, int code) {
  Pass([item = std::string(item), code](TVerifyObserver& o) { o.ItemMissing(item, code); });
}
void TVerdictQueue::RunStopped() {
  Pass([](TVerifyObserver& o) { o.RunStopped(); });
}
void TVerdictQueue::RunFinished(const TRunTotals& totals) {
  Pass([totals](TVerifyObserver& o) { o.RunFinished(totals); });
}
