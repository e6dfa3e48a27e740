#pragma once
// Directory search by pattern (directory part + mask) and attribute set.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Attributes.h"
#include "DirectoryChain.h"

namespace Platform {

struct TSearchEntry {
  std::string Name;         // bytes as the system gives them
  std::int64_t Size = 0;    // target's size for a link to a file
  TAttributes Attributes = 0;
  // What the entry was when found (of the target for a link to a file);
  // empty for one that could not be examined.
  TFileIdentity Identity{};
};

// Mask matching with the classic wildcard rules (not shell globbing):
// '*' any run (also empty, also dots), '?' one character, "*.*" and "*"
// match every name, a mask ending in ".*" also matches names without an
// extension, a mask ending in "." matches only names without one (no dot,
// or a final dot alone), ASCII letters compare without regard to case.
bool MatchesMask(std::string_view name, std::string_view mask);

// Yields the entries of a directory that match a mask and whose hidden,
// system, volume-label and directory bits all lie inside attributeSet, in
// the order of CompareNames ("." and ".." included): the listing is read
// whole first. A mask without wildcards names one file, which is looked up
// directly (case-sensitive, as names are here) instead of listing the
// directory. A directory that cannot be
// searched yields nothing, or no more, and says why in Error.
class TDirSearch {
 public:
  // OnlyDirectories: a search for the directories to descend into passes
  // over other entries without examining each one, so that it costs little
  // more than reading the listing, however many files lie beside them.
  // ExactName: the mask is one name, looked up directly whatever
  // characters it holds ('*' and '?' included), as a path given literally.
  enum TLimit { Everything, OnlyDirectories, ExactName };

  // Searches the chain's innermost directory, which stays where it is in
  // the chain while the search lives.
  TDirSearch(const TDirectoryChain& directory, std::string_view mask, TAttributes attributeSet,
             TLimit limit = Everything);
  // Searches by pattern: directory part + mask.
  TDirSearch(std::string_view pattern, TAttributes attributeSet);
  ~TDirSearch();
  TDirSearch(const TDirSearch&) = delete;
  TDirSearch& operator=(const TDirSearch&) = delete;

  // Fills entry with the next match; false when there is none left.
  bool Next(TSearchEntry& entry);
  // 0, or the system's code when the directory could not be searched.
  int Error() const;
  // The directory's drive has gone away (unplugged, its server or daemon
  // gone): the search stopped at the first name it could not examine for
  // that, rather than try each of the rest.
  bool DriveGone() const;

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

// 0 when path names something (a dangling link too), otherwise the
// system's code for why it does not.
int NameError(const std::string& path);

// Whether code says that the file system a call went to is no longer there
// at all, rather than that one name or one block of it failed.
bool IsDriveGoneCode(int code);

}  // namespace Platform
