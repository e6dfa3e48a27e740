#pragma once
// A run's events in order, while a content check judges files beside the
// reads: a file whose verdict is still out is held back, and every event
// after it with it, so that each consumer sees the run exactly as it went.
// Events pass straight through while nothing is held.
//
// The run's thread sends the events and holds the files; a verdict may
// settle its file from any thread. Whoever sends what is due does it under
// the queue's lock, so the observers are still called one at a time.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "VerifyObserver.h"

class TVerdictQueue final : public TVerifyObserver {
 public:
  // Decides a held file's outcome from its verdict, just before it is sent.
  using TJudge = std::function<void(TFileRecord& record, std::optional<TContentFailure> failure)>;
  using TEvent = std::function<void(TVerifyObserver& observer)>;
  struct TEntry {
    TEvent Event;  // for a held file: none
    std::optional<TFileRecord> Held;
    bool Settled = false;
    std::optional<TContentFailure> Failure;
  };

  // Events leave for out, in order.
  TVerdictQueue(TVerifyObserver& out, TJudge judge);

  // Holds record back until Settle is called with what is returned.
  TEntry* Hold(TFileRecord record);
  void Settle(TEntry* entry, std::optional<TContentFailure> failure);
  // Returns when every held file has been settled and sent.
  void Drain();

  void RunStarted() override;
  void BufferFailed(std::size_t size) override;
  void ItemStarted(std::string_view item) override;
  void DirectoryStarted(std::string_view path, Platform::TAttributes attributes) override;
  void NoMatchingFiles() override;
  void FileStarted(std::string_view path, std::int64_t size,
                   Platform::TAttributes attributes) override;
  void FileFinished(const TFileRecord& record) override;
  void FileProgress(const TFileRecord& soFar) override;
  void DirectorySkipped() override;
  void ItemMissing(std::string_view item, int code) override;
  void RunStopped() override;
  void RunFinished(const TRunTotals& totals) override;

 private:
  using TLock = std::unique_lock<std::mutex>;
  void Pass(TEvent event);
  void SendDue();

  TVerifyObserver& Out;
  const TJudge Judge;
  std::mutex Mutex;
  std::condition_variable Sent;
  // Held files and the events after the first of them; a deque, so that an
  // entry stays where it is while others come and go.
  std::deque<TEntry> Queue;
};
