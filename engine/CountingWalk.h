#pragma once
// Adds up the files and bytes a run will read, on a thread of its own and
// ahead of it, so that the fronts can say how much of the run is done and
// how long is left. It walks the items exactly as the run does (masks,
// attributes, subdirectories) but never opens a file, and its disk
// requests go at the lowest priority: counting must not slow the run.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "Attributes.h"
#include "ContentCheck.h"
#include "DirSearch.h"
#include "DirectoryChain.h"
#include "EndingThread.h"
#include "VerifyStatus.h"

struct TCountPlan {
  std::vector<std::string> Items;
  std::set<std::string> LiteralItems{};  // files by their exact names, as in the run
  bool AllSubdirectories = false;
  Platform::TAttributes FileAttributeSet = 0;
  // The run's content check, which passes over files and adds some of its own.
  const TContentCheck* Contents = nullptr;
};

// The file a run checks by its path alone, as it finds it; none when there
// is none (a missing file is checked all the same, and fails to open).
std::optional<Platform::TSearchEntry> FileByPath(const std::string& path);

class TCountingWalk {
 public:
  // Starts at once; writes its totals into status's Counted fields. Ends
  // when done, when stop is requested, or when this object goes.
  TCountingWalk(TCountPlan plan, TVerifyStatus& status, std::stop_token stop);
  ~TCountingWalk();
  // Stops the walk; false when it has not ended within limit, held in the
  // kernel: it is let go then, and this object must never be destroyed.
  bool Finish(std::chrono::milliseconds limit);
  TCountingWalk(const TCountingWalk&) = delete;
  TCountingWalk& operator=(const TCountingWalk&) = delete;

 private:
  void Run(std::stop_token own);
  std::vector<std::string> CountLevel(const std::string& path, bool literal,
                                      const Platform::TDirectoryChain& chain);
  void CountFile(const std::string& path, const Platform::TSearchEntry& entry);
  void CountFilesAfterWalks();
  bool Stopping() const;

  const TCountPlan Plan;
  TVerifyStatus& Status;
  std::stop_token RunStop;
  std::stop_token OwnStop;
  std::vector<bool> MetAfterWalk;  // by the content check's AfterWalk() place
  TEndingThread Thread;
};
