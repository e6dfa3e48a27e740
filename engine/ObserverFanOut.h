#pragma once
// Hands each of a run's events to several observers, in the order given.
// Once closed, it drops every event: a run's thread held in the system can
// then be let go while another thread ends the run.
#include <mutex>
#include <utility>
#include <vector>

#include "VerifyObserver.h"

class TObserverFanOut final : public TVerifyObserver {
 public:
  explicit TObserverFanOut(std::vector<TVerifyObserver*> observers)
      : Observers(std::move(observers)) {}

  void RunStarted() override {
    Each([](TVerifyObserver& o) { o.RunStarted(); });
  }
  void BufferFailed(std::size_t size) override {
    Each([&](TVerifyObserver& o) { o.BufferFailed(size); });
  }
  void ItemStarted(std::string_view item) override {
    Each([&](TVerifyObserver& o) { o.ItemStarted(item); });
  }
  void DirectoryStarted(std::string_view path, Platform::TAttributes attributes) override {
    Each([&](TVerifyObserver& o) { o.DirectoryStarted(path, attributes); });
  }
  void NoMatchingFiles() override {
    Each([](TVerifyObserver& o) { o.NoMatchingFiles(); });
  }
  void FileStarted(std::string_view path, std::int64_t size,
                   Platform::TAttributes attributes) override {
    Each([&](TVerifyObserver& o) { o.FileStarted(path, size, attributes); });
  }
  void FileFinished(const TFileRecord& record) override {
    Each([&](TVerifyObserver& o) { o.FileFinished(record); });
  }
  void FileProgress(const TFileRecord& soFar) override {
    Each([&](TVerifyObserver& o) { o.FileProgress(soFar); });
  }
  void DirectorySkipped() override {
    Each([](TVerifyObserver& o) { o.DirectorySkipped(); });
  }
  void ItemMissing(std::string_view item, int code) override {
    Each([&](TVerifyObserver& o) { o.ItemMissing(item, code); });
  }
  void RunStopped() override {
    Each([](TVerifyObserver& o) { o.RunStopped(); }, &StopSent);
  }
  void RunFinished(const TRunTotals& totals) override {
    Each([&](TVerifyObserver& o) { o.RunFinished(totals); }, &FinishSent);
  }

  // Sends the closing events of a stopped run that have not been sent yet,
  // then drops every event. False, with nothing done, while an event is
  // under way: an observer may be waiting for its output to be taken.
  bool CloseStopped(const TRunTotals& totals) {
    std::unique_lock hold(Gate, std::try_to_lock);
    if (!hold) return false;
    Send([](TVerifyObserver& o) { o.RunStopped(); }, &StopSent);
    Send([&](TVerifyObserver& o) { o.RunFinished(totals); }, &FinishSent);
    Closed = true;
    return true;
  }

 private:
  template <class TEvent>
  void Each(const TEvent& event, bool* once = nullptr) {
    std::lock_guard hold(Gate);
    Send(event, once);
  }
  // The caller holds Gate.
  template <class TEvent>
  void Send(const TEvent& event, bool* once) {
    if (Closed || (once != nullptr && std::exchange(*once, true))) return;
    for (TVerifyObserver* observer : Observers) event(*observer);
  }

  const std::vector<TVerifyObserver*> Observers;
  std::mutex Gate;
  bool Closed = false;
  bool StopSent = false;
  bool FinishSent = false;
};
