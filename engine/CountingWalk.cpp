#include "CountingWalk.h"

#include <chrono>

#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "Path.h"
#include "ThreadPriority.h"

using namespace Platform;

TCountingWalk::TCountingWalk(TCountPlan plan, TVerifyStatus& status, std::stop_token stop)
    : Plan(std::move(plan)), Status(status), RunStop(std::move(stop)) {
  Thread.Start([this](std::stop_token own) { Run(std::move(own)); });
}

TCountingWalk::~TCountingWalk() {
  Thread.RequestStop();
  Thread.Join();
}

bool TCountingWalk::Finish(std::chrono::milliseconds limit) { return Thread.EndWithin(limit); }

bool TCountingWalk::Stopping() const { return RunStop.stop_requested() || OwnStop.stop_requested(); }

void TCountingWalk::Run(std::stop_token own) {
  OwnStop = std::move(own);
  LowerThreadIoPriority();
  for (const std::string& item : Plan.Items) {
    if (Stopping()) return;
    const bool literal = Plan.LiteralItems.contains(item);
    TDirectoryChain chain(DirectoryPart(item));
    WalkDepthFirst(
        item, chain, [&](const std::string& level) { return CountLevel(level, literal, chain); },
        [&](const std::string&) { return !Stopping(); }, [](const std::string&) {},
        [](const std::string&) {});
  }
  CountFilesAfterWalks();
  if (!Stopping()) Status.CountComplete = true;
}

std::vector<std::string> TCountingWalk::CountLevel(const std::string& path, bool literal,
                                                   const TDirectoryChain& chain) {
  // A paused run should leave the disk alone too.
  while (!Stopping() && Status.Paused) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::string directory = CurrentDirectoryOf(path);
  TDirSearch search(chain, NamePart(path), Plan.FileAttributeSet,
                    literal ? TDirSearch::ExactName : TDirSearch::Everything);
  // Stopping tested after each name: a walk let go, held in the kernel
  // until just now, must touch nothing outside itself.
  for (TSearchEntry entry; !Stopping() && search.Next(entry) && !Stopping();)
    CountFile(directory + entry.Name, entry);
  if (literal || !Plan.AllSubdirectories || Stopping()) return {};
  return ListSubdirectories(chain, Plan.FileAttributeSet).Names;
}

void TCountingWalk::CountFile(const std::string& path, const TSearchEntry& entry) {
  if (Plan.Contents != nullptr) {
    const TContentCheck::TCountChoice choice = Plan.Contents->CountChoice(path);
    if (!choice.Checked) return;
    if (choice.AfterWalk) {
      if (MetAfterWalk.size() <= *choice.AfterWalk) MetAfterWalk.resize(*choice.AfterWalk + 1);
      MetAfterWalk[*choice.AfterWalk] = true;
    }
  }
  Status.CountedFiles.fetch_add(1, std::memory_order_relaxed);
  // Devices and pipes are checked as files of length 0.
  if ((entry.Attributes & faSysFile) == 0)
    Status.CountedBytes.fetch_add(entry.Size, std::memory_order_relaxed);
}

// The files the content check names that no walk met: the run checks each
// of them after the walks.
void TCountingWalk::CountFilesAfterWalks() {
  if (Plan.Contents == nullptr) return;
  const std::size_t places = Plan.Contents->AfterWalkPlaces();
  for (std::size_t i = 0; i < places && !Stopping(); ++i) {
    if (i < MetAfterWalk.size() && MetAfterWalk[i]) continue;
    const std::optional<std::string> path = Plan.Contents->AfterWalk(i);
    if (!path) continue;
    const std::optional<TSearchEntry> entry = FileByPath(*path);
    // The look-up may have been held in the kernel while the walk was let go.
    if (Stopping()) return;
    Status.CountedFiles.fetch_add(1, std::memory_order_relaxed);
    if (entry && (entry->Attributes & faSysFile) == 0)
      Status.CountedBytes.fetch_add(entry->Size, std::memory_order_relaxed);
  }
}

std::optional<TSearchEntry> FileByPath(const std::string& path) {
  TDirSearch search(path, faReadOnly | faArchive | faHidden | faSysFile);
  // A name with wildcards may match others: only the file itself counts.
  for (TSearchEntry entry; search.Next(entry);) {
    if (entry.Name == NamePart(path)) return entry;
  }
  return std::nullopt;
}
