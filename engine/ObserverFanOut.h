#pragma once
// Hands each of a run's events to several observers, in the order given.
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
    Each([](TVerifyObserver& o) { o.RunStopped(); });
  }
  void RunFinished(const TRunTotals& totals) override {
    Each([&](TVerifyObserver& o) { o.RunFinished(totals); });
  }

 private:
  template <class TEvent>
  void Each(const TEvent& event) {
    for (TVerifyObserver* observer : Observers) event(*observer);
  }

  const std::vector<TVerifyObserver*> Observers;
};
