#include "CountingWalk.h"

#include <chrono>

#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "IoPriority.h"
#include "Path.h"

using namespace Platform;

TCountingWalk::TCountingWalk(TCountPlan plan, TVerifyStatus& status, std::stop_token stop)
    : Plan(std::move(plan)), Status(status), RunStop(std::move(stop)) {
  Thread = std::jthread([this](std::stop_token own) { Run(std::move(own)); });
}

TCountingWalk::~TCountingWalk() {
  Thread.request_stop();
  Thread.join();
}

bool TCountingWalk::Stopping() const { return RunStop.stop_requested() || OwnStop.stop_requested(); }

void TCountingWalk::Run(std::stop_token own) {
  OwnStop = std::move(own);
  LowerThreadIoPriority();
  for (const std::string& item : Plan.Items) {
    if (Stopping()) return;
    TDirectoryChain chain(DirectoryPart(item));
    WalkDepthFirst(
        item, chain, [&](const std::string& level) { return CountLevel(level, chain); },
        [&](const std::string&) { return !Stopping(); }, [](const std::string&) {},
        [](const std::string&) {});
  }
  if (!Stopping()) Status.CountComplete = true;
}

std::vector<std::string> TCountingWalk::CountLevel(const std::string& path,
                                                   const TDirectoryChain& chain) {
  // A paused run should leave the disk alone too.
  while (Status.Paused && !Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  TDirSearch search(chain, NamePart(path), Plan.FileAttributeSet);
  for (TSearchEntry entry; !Stopping() && search.Next(entry);) {
    Status.CountedFiles.fetch_add(1, std::memory_order_relaxed);
    Status.CountedBytes.fetch_add(entry.Size, std::memory_order_relaxed);
  }
  if (!Plan.AllSubdirectories || Stopping()) return {};
  return ListSubdirectories(chain, Plan.FileAttributeSet).Names;
}
