#include "DepthFirstWalk.h"

#include <chrono>

#include "DirSearch.h"

using namespace Platform;

TSubdirectories ListSubdirectories(const TDirectoryChain& chain, TAttributes fileAttributes) {
  TSubdirectories found;
  TDirSearch search(chain, "*.*", fileAttributes | faDirectory, TDirSearch::OnlyDirectories);
  for (TSearchEntry entry; search.Next(entry);) {
    if (entry.Name != "." && entry.Name != "..") found.Names.push_back(entry.Name);
  }
  found.Error = search.Error();
  found.DriveGone = search.DriveGone();
  return found;
}

TSubdirectories TSubdirectoryCache::List(const TDirectoryChain& chain, TAttributes fileAttributes) {
  const TFileIdentity directory = chain.Identity();
  // A directory that cannot be examined is listed every time.
  if (directory.Inode == 0) return ListSubdirectories(chain, fileAttributes);
  for (const TEntry& entry : Entries) {
    if (entry.Directory == directory && entry.Attributes == fileAttributes) return entry.Found;
  }
  const auto listedAt = std::chrono::system_clock::now();
  TSubdirectories found = ListSubdirectories(chain, fileAttributes);
  if (found.Error != 0 || found.Names.size() > MaxNames) return found;
  // Where a file system keeps times in coarse steps (whole seconds, two
  // seconds on FAT), a change made just after the listing could leave the
  // directory's time where it was: there a list is kept only when the last
  // change is older than any such step. Times with a fraction finer than a
  // millisecond come from a file system that gives each change a time of
  // its own, so a list of a directory made a moment ago is as good as any.
  const auto changed = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::nanoseconds(directory.ChangedNs)));
  const bool fineTimes = directory.ChangedNs % 1'000'000 != 0;
  if (!fineTimes && listedAt - changed < RacyInterval) return found;
  Names += found.Names.size();
  Entries.push_back({directory, fileAttributes, found});
  while (Entries.size() > MaxDirectories || Names > MaxNames) {
    Names -= Entries.front().Found.Names.size();
    Entries.pop_front();
  }
  return found;
}
