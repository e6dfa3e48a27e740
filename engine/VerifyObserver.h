#pragma once
// How a run reports what it does. The run knows nothing of logs, windows or
// terminals: each of them is an observer that takes the run's events and
// its file records and makes of them what it shows. The run calls these on
// its own thread, in order; an observer that shares what it keeps with
// another thread guards it itself.
#include <cstddef>
#include <string_view>

#include "FileRecord.h"

class TVerifyObserver {
 public:
  virtual ~TVerifyObserver() = default;

  virtual void RunStarted() {}
  // The read buffer could not be had; the run ends without reading.
  virtual void BufferFailed(std::size_t /*size*/) {}
  virtual void ItemStarted(std::string_view /*item*/) {}
  // path is the directory's search pattern; attributes the searched set.
  virtual void DirectoryStarted(std::string_view /*path*/, Platform::TAttributes /*attributes*/) {}
  virtual void NoMatchingFiles() {}
  virtual void FileStarted(std::string_view /*path*/, std::int64_t /*size*/,
                           Platform::TAttributes /*attributes*/) {}
  virtual void FileFinished(const TFileRecord& /*record*/) {}
  // From time to time while a large file is read: what its reads have
  // found so far, up to soFar.StoppedAt; a run killed outright can go on
  // from there.
  virtual void FileProgress(const TFileRecord& /*soFar*/) {}
  virtual void DirectorySkipped() {}
  // An item without wildcards named nothing: no file was checked for it.
  virtual void ItemMissing(std::string_view /*item*/, int /*code*/) {}
  virtual void RunStopped() {}
  virtual void RunFinished(const TRunTotals& /*totals*/) {}
};
