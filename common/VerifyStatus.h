#pragma once
// What the worker knows and what the windows ask of it: the one object the
// worker and the user-interface thread share during a run.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LogStore.h"
#include "Mutex.h"

using TStringList = std::vector<std::string>;

// A directory whose search failed, with the system's code. The log shows it
// only as one without matching files; this list is what tells the two apart.
struct TSearchFailure {
  std::string Directory;
  int Code = 0;
  bool DriveGone = false;  // its drive went away: unplugged, its server gone
  bool operator==(const TSearchFailure&) const = default;
};

// An item without wildcards that named nothing, so that the run checked
// no file for it, with the system's code for the missing name.
struct TMissingItem {
  std::string Item;
  int Code = 0;
  bool operator==(const TMissingItem&) const = default;
};

class TVerifyStatus {
 public:
  TVerifyStatus();
  TVerifyStatus(const TVerifyStatus&) = delete;
  TVerifyStatus& operator=(const TVerifyStatus&) = delete;

  // Every field but Mutex back to its state before a run; called between
  // runs only.
  void Reset() EXCLUDES(Mutex);

  // Sets or clears the pause request and wakes a worker waiting on it.
  void SetPaused(bool paused);
  // Blocks the calling thread while Paused is set (no CPU while waiting).
  void WaitWhilePaused() const;

  // Guarded by Mutex.
  std::string CurrentDirectory GUARDED_BY(Mutex);
  std::string CurrentFile GUARDED_BY(Mutex);
  // The directory of CurrentFile. CurrentDirectory is the walk's, which
  // runs ahead of the file (a new directory before its first file) and
  // behind it (back at the parent after a subdirectory).
  std::string CurrentFileDirectory GUARDED_BY(Mutex);
  std::int64_t CurrentFileSize GUARDED_BY(Mutex) = 0;
  std::int64_t CurrentFilePosition GUARDED_BY(Mutex) = 0;
  std::int64_t TotalBytes GUARDED_BY(Mutex) = 0;
  std::int32_t FilesOk GUARDED_BY(Mutex) = 0;
  std::int32_t FilesError GUARDED_BY(Mutex) = 0;
  std::int32_t FilesSkipped GUARDED_BY(Mutex) = 0;
  std::int32_t DirsSkipped GUARDED_BY(Mutex) = 0;
  std::string LastOkFile GUARDED_BY(Mutex);
  std::string LastErrorFile GUARDED_BY(Mutex);
  std::string LastErrorMessage GUARDED_BY(Mutex);
  // The listed sizes of the files before the current one, whatever their
  // outcome: with CurrentFilePosition, how far the run has come.
  std::int64_t BytesDone GUARDED_BY(Mutex) = 0;
  // Of those, the bytes no read gave: the rest of a file that failed or was
  // skipped, a file an earlier run checked. The speed shown is that of the
  // bytes read.
  std::int64_t BytesUnread GUARDED_BY(Mutex) = 0;

  TLogStore Log GUARDED_BY(Mutex);
  // The failures the log repeats at its end: during a run the worker's
  // alone, written and read by its log writer; cleared between runs.
  TLogStore ErrorList;
  // The user stopped the run before it was through.
  bool Stopped GUARDED_BY(Mutex) = false;
  std::vector<TSearchFailure> SearchFailures GUARDED_BY(Mutex);
  std::vector<TMissingItem> MissingItems GUARDED_BY(Mutex);
  // Files whose pages stayed in memory after the drop (another process has
  // them mapped): their reads may not have come from the medium.
  TStringList PagesKeptFiles GUARDED_BY(Mutex);

  // Crossed between the threads without the lock.
  std::atomic<bool> Finished{false};
  std::atomic<bool> SkipFile{false};
  std::atomic<bool> SkipDirectory{false};
  std::atomic<bool> Paused{false};
  std::atomic<bool> Idle{true};
  // What the run's counting walk has found so far: the files and bytes the
  // run will read, lower bounds until CountComplete.
  std::atomic<std::int64_t> CountedFiles{0};
  std::atomic<std::int64_t> CountedBytes{0};
  std::atomic<bool> CountComplete{false};
  // When the read under way began, in steady-clock ticks since its epoch;
  // 0 between reads. A read that has not returned for seconds is one the
  // medium is struggling with, and the fronts say so.
  std::atomic<std::int64_t> ReadStartedAt{0};

  // Days since 30 December 1899, local time; 0 = not set.
  double StartTime GUARDED_BY(Mutex) = 0;
  double EndTime GUARDED_BY(Mutex) = 0;

  TMutex Mutex;
};

// What the windows and the terminal show of a run, copied out of the
// status in one short hold of its lock.
struct TStatusSnapshot {
  std::string CurrentDirectory{};
  std::string CurrentFile{};
  std::int64_t CurrentFileSize = 0;
  std::int64_t CurrentFilePosition = 0;
  std::int64_t TotalBytes = 0;
  std::int32_t FilesOk = 0;
  std::int32_t FilesError = 0;
  std::int32_t FilesSkipped = 0;
  std::int64_t BytesDone = 0;
  std::int64_t CountedFiles = 0;
  std::int64_t CountedBytes = 0;
  bool CountComplete = false;
  // Whole seconds the read under way has been blocked, once more than
  // StalledAfter; 0 otherwise.
  std::int64_t ReadStalledSeconds = 0;
  std::string LastOkFile{};
  std::string LastErrorFile{};
  std::string LastErrorMessage{};
  // Read under the same hold: once it is seen, the worker's closing section
  // (summary lines, Idle) is over.
  bool Finished = false;
  std::string CurrentFileDirectory{};
  std::int64_t BytesUnread = 0;

  bool operator==(const TStatusSnapshot&) const = default;
};

TStatusSnapshot TakeSnapshot(TVerifyStatus& status);

// A read blocked longer than this is shown as stalled.
inline constexpr std::int64_t StalledAfterSeconds = 2;
// "读取已停滞 N 秒", as both fronts add it to what they show of the file.
std::string StalledReadText(std::int64_t seconds);

