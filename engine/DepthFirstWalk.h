#pragma once
// The walk's order over a directory and its subdirectories, shared by the
// worker and the read-ahead helper so that both go the same way.
#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "Attributes.h"
#include "DirectoryChain.h"
#include "Path.h"

// A directory's subdirectory names, read in full before the walk goes down,
// so that no listing stays open above it and a deep tree costs no more
// descriptors than a flat one. Error is the search's code (0: none).
struct TSubdirectories {
  std::vector<std::string> Names;
  int Error = 0;
  bool DriveGone = false;
};
TSubdirectories ListSubdirectories(const Platform::TDirectoryChain& chain,
                                   Platform::TAttributes fileAttributes);

// The subdirectory lists of the directories a run has walked, so that many
// items in one directory (a list of single files, with subdirectories on)
// list it once, not once each. A list is used again only for the same
// directory, unchanged since (same inode, size and times), and searched with
// the same attributes; on a file system with coarse times, a directory
// changed moments before it was listed is listed again each time. Bounded:
// the oldest lists go first.
class TSubdirectoryCache {
 public:
  static constexpr std::size_t MaxDirectories = 256;
  static constexpr std::size_t MaxNames = 1 << 18;
  static constexpr std::chrono::seconds RacyInterval{3};

  TSubdirectories List(const Platform::TDirectoryChain& chain,
                       Platform::TAttributes fileAttributes);

 private:
  struct TEntry {
    Platform::TFileIdentity Directory;
    Platform::TAttributes Attributes = 0;
    TSubdirectories Found;
  };
  std::deque<TEntry> Entries;  // oldest first
  std::size_t Names = 0;
};

// Depth first from path (directory part + mask), as a recursion over the
// subdirectories would go, but with the levels kept on the heap: the depth
// of a tree must not be able to exhaust the thread's stack. Only the
// innermost path is spelled out; a level keeps its subdirectories' names
// and where its directory ends in that text, so that a tree d levels deep
// costs memory in proportion to d, not to d * d.
//   scan(path)        visits one directory; returns the subdirectories to walk
//   descend(path)     whether to go on into the next subdirectory of path
//   leave(path)       path's walk is over
//   back(path)        the walk is back in path from one of its subdirectories
template <typename Scan, typename Descend, typename Leave, typename Back>
void WalkDepthFirst(const std::string& path, Platform::TDirectoryChain& chain, Scan scan,
                    Descend descend, Leave leave, Back back) {
  struct TLevel {
    std::vector<std::string> Subdirectories;
    std::size_t Next = 0;
    std::size_t DirectoryEnd = 0;  // in directory
  };
  const std::string mask = Platform::NamePart(path);
  std::string directory = Platform::CurrentDirectoryOf(path);
  std::string current = path;  // the innermost level's path
  std::vector<TLevel> levels;
  levels.push_back({scan(current), 0, directory.size()});
  for (;;) {
    TLevel& level = levels.back();
    if (level.Next < level.Subdirectories.size() && descend(current)) {
      std::string name = std::move(level.Subdirectories[level.Next++]);
      directory.resize(level.DirectoryEnd);
      directory += name;
      directory += Platform::PathDelimiter;
      current = directory + mask;
      chain.Enter(name);
      std::vector<std::string> subdirectories = scan(current);
      levels.push_back({std::move(subdirectories), 0, directory.size()});
      continue;
    }
    leave(current);
    levels.pop_back();
    if (levels.empty()) return;
    chain.Leave();
    directory.resize(levels.back().DirectoryEnd);
    current = levels.size() == 1 ? path : directory + mask;
    back(current);
  }
}
