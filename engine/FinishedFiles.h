#pragma once
// Files an earlier, interrupted run of the same items has already checked.
// A run given these does not read such a file again: it hands on the
// record kept from then (marked Replayed), as if it had just made it, so that its log and
// its totals come out as those of a run that was never interrupted.
#include <optional>
#include <string>

#include "DirectoryChain.h"
#include "FileRecord.h"

class TFinishedFiles {
 public:
  virtual ~TFinishedFiles() = default;
  // The record of the file at path, when it was checked before and is the
  // same file still (device, inode, size and modification time as then);
  // otherwise null. Called by the worker and by the read-ahead helper, at
  // the same time: it must not change anything.
  virtual std::optional<TFileRecord> Find(const std::string& path,
                                          const Platform::TFileIdentity& found) const = 0;
  // The record of a file the earlier run had read part of, the same file
  // still: its reads go on from record->StoppedAt. Null otherwise.
  virtual std::optional<TFileRecord> PartRead(const std::string& /*path*/,
                                              const Platform::TFileIdentity& /*found*/) const {
    return std::nullopt;
  }
};
