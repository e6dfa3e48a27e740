#pragma once
// The verification log as an observer of a run: its lines, made from the
// run's events and file records, go to a line sink as they happen. The
// error list, printed after the log, is collected on the way.
#include "LineSink.h"
#include "LogStore.h"
#include "VerifyObserver.h"
#include "VerifyStatus.h"

class TLogWriter : public TVerifyObserver {
 public:
  // errorList is used by the run's thread only.
  TLogWriter(TLineSink& log, TLineList& errorList) : Log(log), ErrorList(errorList) {}

  void RunStarted() override;
  void BufferFailed(std::size_t size) override;
  void ItemStarted(std::string_view item) override;
  void DirectoryStarted(std::string_view path, Platform::TAttributes attributes) override;
  void NoMatchingFiles() override;
  void FileStarted(std::string_view path, std::int64_t size,
                   Platform::TAttributes attributes) override;
  void FileFinished(const TFileRecord& record) override;
  void DirectorySkipped() override;
  void ItemMissing(std::string_view item, int code) override;
  void RunStopped() override;
  void RunFinished(const TRunTotals& totals) override;

 private:
  void ListError(std::string_view message, std::string_view path, int code, std::string_view text);

  TLineSink& Log;
  TLineList& ErrorList;
};

// A line store as a line list.
class TStoreLines : public TLineList {
 public:
  explicit TStoreLines(TLogStore& store) : Store(store) {}
  void Append(std::string_view line) override { Store.push_back(line); }
  bool Empty() const override { return Store.empty(); }
  void ForEach(const std::function<void(std::string_view line)>& take) override {
    for (const std::string_view line : Store) take(line);
  }

 private:
  TLogStore& Store;
};

// The status's own log, which the windows read: every line goes in under
// the status's lock.
class TStatusLines : public TLineSink {
 public:
  explicit TStatusLines(TVerifyStatus& status) : Status(status) {}
  void Append(std::string_view line) override;

 private:
  TVerifyStatus& Status;
};
