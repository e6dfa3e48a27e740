#include "DirSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "Path.h"
#include "TextEncoding.h"

namespace Platform {

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the character starting at text[i]: a whole UTF-8 sequence when
// one starts there, otherwise a single byte. Names need not be valid UTF-8,
// so a stray byte still counts as one character.
std::size_t CharLength(std::string_view text, std::size_t i) {
  return std::max<std::size_t>(1, Utf8SequenceLength(text, i));
}

// Does the character at mask[m] equal the one at name[n]? Whole characters
// are compared, so a stray byte of the mask never matches half of one in
// the name.
bool SameCharacter(std::string_view name, std::size_t n, std::string_view mask, std::size_t m) {
  const std::size_t length = CharLength(mask, m);
  if (CharLength(name, n) != length) return false;
  for (std::size_t k = 0; k < length; ++k)
    if (FoldAscii(mask[m + k]) != FoldAscii(name[n + k])) return false;
  return true;
}

// '*' and '?' matching with one remembered star: on a mismatch the last star
// swallows one more character and matching resumes after it. Positions in
// name and mask always move by whole characters, so every step takes one
// character of the name and one remembered star is enough.
bool MatchesWildcards(std::string_view name, std::string_view mask) {
  std::size_t n = 0, m = 0;
  std::size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && mask[m] == '?') {
      n += CharLength(name, n);
      ++m;
    } else if (m < mask.size() && SameCharacter(name, n, mask, m)) {
      m += CharLength(mask, m);
      n += CharLength(name, n);
    } else if (starMask != std::string_view::npos) {
      starName += CharLength(name, starName);
      n = starName;
      m = starMask + 1;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool IsDotOrDotDot(std::string_view name) { return name == "." || name == ".."; }

constexpr TAttributes FilterBits = faHidden | faSysFile | faVolumeID | faDirectory;

TAttributes ModeAttributes(mode_t mode) {
  TAttributes attributes = 0;
  if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= faReadOnly;
  if (S_ISDIR(mode)) attributes |= faDirectory;
  else if (!S_ISREG(mode)) attributes |= faSysFile;
  // No archive bit: POSIX file systems do not keep one.
  return attributes;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*" || mask == "*.*") return true;
  // A mask ending in '.' asks for names without an extension: "*." finds
  // "readme" and "abc.", never "a.txt".
  if (mask.size() >= 2 && mask.back() == '.') {
    if (name.ends_with('.')) name.remove_suffix(1);
    return name.find('.') == name.npos && MatchesWildcards(name, mask.substr(0, mask.size() - 1));
  }
  if (MatchesWildcards(name, mask)) return true;
  // "name.*" also finds "name": a name without an extension is taken to end
  // in an empty one.
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
    return MatchesWildcards(name, mask.substr(0, mask.size() - 2));
  }
  return false;
}

struct TDirSearch::TState {
  DIR* Dir = nullptr;
  std::string Mask;
  TAttributes AttributeSet = 0;

  ~TState() {
    if (Dir != nullptr) closedir(Dir);
  }

  // Builds the entry for one name; false when it is not to be reported.
  bool Describe(const dirent& item, TSearchEntry& entry) const;
};

bool TDirSearch::TState::Describe(const dirent& item, TSearchEntry& entry) const {
  const int dirFd = dirfd(Dir);
  const std::string_view name = item.d_name;
  struct stat info {};
  if (fstatat(dirFd, item.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    // Gone since readdir listed it: nothing left to verify.
    if (errno == ENOENT) return false;
    // Listed but not examinable (a directory readable without search
    // permission): report it by its type so that the open of a file fails
    // with the system's code instead of the file silently vanishing.
    info = {};
    info.st_mode = item.d_type == DT_DIR ? (S_IFDIR | S_IWUSR) : (S_IFREG | S_IWUSR);
  } else if (S_ISLNK(info.st_mode)) {
    struct stat target {};
    if (fstatat(dirFd, item.d_name, &target, 0) == 0) {
      // A link to a directory is neither a file to verify nor a directory to
      // enter: following it could loop or walk a tree twice, and reporting
      // it without the directory bit would make the walk try to read it as a
      // file. So it is not reported at all.
      if (S_ISDIR(target.st_mode)) return false;
      info = target;
    } else {
      // A dangling link is a file of size 0 whose open then fails with the
      // system's own code; the link's own mode would say nothing useful.
      info = {};
      info.st_mode = S_IFREG | S_IWUSR;
    }
  }
  entry.Name.assign(name);
  entry.Size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::int64_t>(info.st_size);
  entry.Attributes = ModeAttributes(info.st_mode);
  if (name.front() == '.' && !IsDotOrDotDot(name)) entry.Attributes |= faHidden;
  return true;
}

TDirSearch::TDirSearch(std::string_view pattern, TAttributes attributeSet)
    : State(std::make_unique<TState>()) {
  State->Mask = NamePart(pattern);
  State->AttributeSet = attributeSet;
  // A pattern without a directory part searches the working directory; the
  // names are still yielded bare, as the caller builds paths from its own
  // (empty) current directory.
  const std::string directory = DirectoryPart(pattern);
  State->Dir = opendir(directory.empty() ? "." : directory.c_str());
}

TDirSearch::~TDirSearch() = default;

bool TDirSearch::Next(TSearchEntry& entry) {
  if (State->Dir == nullptr) return false;
  while (const dirent* item = readdir(State->Dir)) {
    if (!MatchesMask(item->d_name, State->Mask)) continue;
    if (!State->Describe(*item, entry)) continue;
    if ((entry.Attributes & FilterBits & ~State->AttributeSet) == 0) return true;
  }
  return false;
}

}  // namespace Platform
