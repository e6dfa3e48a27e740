#pragma once
// Directory search by pattern (directory part + mask) and attribute set.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Attributes.h"

namespace Platform {

struct TSearchEntry {
  std::string Name;         // bytes as the system gives them
  std::int64_t Size = 0;    // target's size for a link to a file
  TAttributes Attributes = 0;
};

// Mask matching with the classic wildcard rules (not shell globbing):
// '*' any run (also empty, also dots), '?' one character, "*.*" and "*"
// match every name, a mask ending in ".*" also matches names without an
// extension, a mask ending in "." matches only names without one (no dot,
// or a final dot alone), ASCII letters compare without regard to case.
bool MatchesMask(std::string_view name, std::string_view mask);

// Yields the entries of the pattern's directory that match its mask and
// whose hidden, system, volume-label and directory bits all lie inside
// attributeSet, in readdir order ("." and ".." included). A directory that
// cannot be opened yields nothing.
class TDirSearch {
 public:
  TDirSearch(std::string_view pattern, TAttributes attributeSet);
  ~TDirSearch();
  TDirSearch(const TDirSearch&) = delete;
  TDirSearch& operator=(const TDirSearch&) = delete;

  // Fills entry with the next match; false when there is none left.
  bool Next(TSearchEntry& entry);

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

}  // namespace Platform
