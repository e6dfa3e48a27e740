#pragma once
// Asks the medium in advance for the files the worker will check next.
// The worker reads one file at a time and waits for every read; a disk, a
// network mount or a flash drive can answer many requests at once, so the
// files that follow in the walk are requested while the worker reads. It
// is only a hint to the system: the data stays in the system's cache, the
// program holds none of it, and a file's outcome comes from the worker's
// own reads alone.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "Attributes.h"
#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "DirectoryChain.h"
#include "EndingThread.h"
#include "FinishedFiles.h"
#include "VerifyStatus.h"

// How far the helper may run ahead of the worker: in files and in bytes
// asked for. Over a cold tree of 20,000 small files any window from 8 to
// 1,024 files ran alike, two to three times as fast as none; 64 reaches
// from one directory's files into the next, and the bytes keep a run of
// large files from filling the cache with what the worker reads much later.
struct TReadAheadWindow {
  std::size_t Files = 64;
  std::int64_t Bytes = std::int64_t{32} << 20;
  // Of a large file only its start is asked for: once the worker reads
  // it, the system's own read-ahead keeps it busy.
  std::int64_t BytesPerFile = std::int64_t{2} << 20;
};

// What the helper needs to go through the run's items in the walk's order.
struct TReadAheadPlan {
  TStringList Items;
  // Items that are one file each, named literally: no subdirectories, no
  // wildcards.
  std::set<std::string> LiteralItems;
  bool AllSubdirectories = false;
  Platform::TAttributes FileAttributeSet = 0;
  // Each file's cached pages are dropped before it is asked for, so that
  // what the worker then reads from the cache came from the medium.
  bool DropCache = true;
  TReadAheadWindow Window;
  // Files the worker will not read, as an interrupted run checked them
  // already: they keep their place in the sequence but are not asked for.
  const TFinishedFiles* Finished = nullptr;
};

class TReadAhead {
 public:
  // Starts the helper thread at once. It ends when stop is requested or
  // when this object goes; it never takes the status lock and only reads
  // the pause flag.
  TReadAhead(TReadAheadPlan plan, const TVerifyStatus& status, std::stop_token stop);
  ~TReadAhead();
  // Stops the helper; false when it has not ended within limit, held in
  // the kernel: it is let go then, and this object must never be destroyed.
  bool Finish(std::chrono::milliseconds limit);
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // The worker's side, in the order of its walk. Each takes an internal
  // lock for a few list operations only, never across input or output.
  void BeginItem(std::size_t item);
  // What the helper dropped from the cache: the file as it was then, and
  // whether some of its pages stayed in memory all the same.
  struct TDropped {
    Platform::TFileIdentity File;
    bool PagesKept = false;
  };
  // The worker begins the check of its next file. The file the helper has
  // dropped under that name for this run, if any: when the worker opens
  // that same unchanged file, dropping it again would only throw away what
  // was read ahead from the medium.
  std::optional<TDropped> Reached(const std::string& path);
  // The worker leaves directory (its current-directory text) and all
  // below it on request: nothing more is asked for there.
  void SkippedDirectory(const std::string& directory);

 private:
  enum class TState { Listed, Dropping, Dropped };
  struct TPlanned {
    std::string Path;
    std::size_t Item = 0;
    std::int64_t Index = 0;      // place in the worker's sequence of files
    std::uint64_t Serial = 0;    // stays the same when Index is renumbered
    std::int64_t Bytes = 0;      // asked for in advance; 0 for none
    TState State = TState::Listed;
    TDropped Dropped{};
  };
  // From file From of the sequence on, the worker will not check anything
  // in Directory or below it.
  struct TSkipMark {
    std::size_t Item = 0;
    std::string Directory;
    std::int64_t From = 0;
  };

  void Run(std::stop_token stop);
  void PlanItem(std::size_t item, const std::string& path, std::stop_token stop);
  std::vector<std::string> PlanLevel(std::size_t item, const std::string& path,
                                     Platform::TDirectoryChain& chain, std::stop_token stop);
  bool Offer(std::size_t item, const std::string& directory, const Platform::TSearchEntry& entry,
             bool fetch, Platform::TDirectoryChain& chain, std::stop_token stop);
  void Fetch(const TPlanned& planned, Platform::TDirectoryChain& chain, const std::string& name);
  bool SetState(std::uint64_t serial, TState state, const TDropped* dropped = nullptr);
  void PopFront();
  bool WaitForTurn(std::unique_lock<std::mutex>& lock, std::int64_t bytes, std::stop_token stop);
  std::size_t RefillAt() const;
  bool HasRoom(std::int64_t bytes) const;
  bool Leaving(std::size_t item, const std::string& directory) const;
  bool Leaving(std::size_t item, const std::string& directory, std::stop_token stop);
  void ForgetMarks(std::size_t item, const std::string& directory);

  const TReadAheadPlan Plan;
  const TVerifyStatus& Status;
  TSubdirectoryCache Subdirectories;  // the helper's own
  std::unique_ptr<Platform::TDirectoryChain> ItemChain;

  std::mutex Mutex;  // guards everything below but the thread
  std::condition_variable_any Changed;
  std::deque<TPlanned> Queue;  // listed, not yet reached by the worker
  std::int64_t QueuedBytes = 0;
  std::vector<TSkipMark> Marks;
  std::int64_t PlanIndex = 0;    // files of the sequence the helper has listed
  std::int64_t WorkerIndex = 0;  // files of the sequence the worker has reached
  std::size_t WorkerItem = 0;
  std::string WorkerLastPath;  // the file the worker checked last
  std::uint64_t NextSerial = 0;

  // The run's stop request reaches the helper's own.
  struct TForwardStop {
    TEndingThread* Thread;
    void operator()() const { Thread->RequestStop(); }
  };
  TEndingThread Thread;
  std::optional<std::stop_callback<TForwardStop>> ForwardStop;
};
