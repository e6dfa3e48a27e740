#include "DirSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <vector>

#include "DirectoryChain.h"
#include "NameOrder.h"
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
  std::unique_ptr<TDirectoryChain> OwnDirectory;  // for a search by pattern
  int DirFd = -1;
  std::string Mask;
  TAttributes AttributeSet = 0;
  bool LookUp = false;
  bool LookedUp = false;
  bool OnlyDirectories = false;
  int Error = 0;
  bool DriveGone = false;
  // The matching names of the listing, read whole and sorted before the
  // first is yielded: one buffer of names, each ended by a NUL, so that a
  // directory of 100,000 names costs a few megabytes, not a string each.
  struct TListed {
    std::size_t Offset = 0;
    unsigned char Type = DT_UNKNOWN;
  };
  std::string Names;
  std::vector<TListed> Listed;
  std::size_t NextName = 0;
  int ListingError = 0;  // reported once the names read before it are yielded

  void Start(const TDirectoryChain& directory, std::string_view mask, TAttributes attributeSet,
             TLimit limit);
  void ReadListing(DIR* dir);
  const char* NameAt(const TListed& listed) const { return Names.data() + listed.Offset; }
  bool NextListed(TSearchEntry& entry);
  bool LookUpName(TSearchEntry& entry);
  bool Describe(const char* name, struct stat info, TSearchEntry& entry) const;
  bool DriveLost(int code);
  bool Admits(const TSearchEntry& entry) const {
    return (entry.Attributes & FilterBits & ~AttributeSet) == 0;
  }
};

void TDirSearch::TState::Start(const TDirectoryChain& directory, std::string_view mask,
                               TAttributes attributeSet, TLimit limit) {
  DirFd = directory.Descriptor();
  Error = directory.Error();
  Mask = mask;
  AttributeSet = attributeSet;
  // A mask without wildcards names exactly one file: listing a directory
  // of thousands of files to find it would make one item per file cost a
  // scan of the whole directory.
  LookUp = limit == ExactName || Mask.find_first_of("*?") == std::string::npos;
  if (Error != 0 || LookUp) return;
  // The chain holds a directory open for reading where it may be read; one
  // it could not gets the system's refusal from this open.
  const int fd = (fcntl(DirFd, F_GETFL) & O_PATH) != 0
                     ? openat(DirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                     : fcntl(DirFd, F_DUPFD_CLOEXEC, 0);
  DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
  if (dir == nullptr) {
    Error = errno;
    if (fd >= 0) close(fd);
    return;
  }
  // A duplicate shares its position with the chain's descriptor, which an
  // earlier listing of the same directory has moved.
  rewinddir(dir);
  ReadListing(dir);
  closedir(dir);
}

// The file system's own order (hash order on ext4) differs from run to
// run and machine to machine: the names are taken in one fixed order
// instead, so that two runs over one tree log alike and a run can say how
// far it got.
void TDirSearch::TState::ReadListing(DIR* dir) {
  for (;;) {
    // readdir tells an error from the end of the listing only by errno.
    errno = 0;
    const dirent* item = readdir(dir);
    if (item == nullptr) {
      ListingError = errno;
      break;
    }
    if (!MatchesMask(item->d_name, Mask)) continue;
    // A link is never reported as a directory, so DT_LNK goes too.
    if (OnlyDirectories && item->d_type != DT_DIR && item->d_type != DT_UNKNOWN) continue;
    Listed.push_back({Names.size(), item->d_type});
    Names.append(item->d_name);
    Names.push_back('\0');
  }
  std::sort(Listed.begin(), Listed.end(), [this](const TListed& a, const TListed& b) {
    return NameBefore(NameAt(a), NameAt(b));
  });
}

// Fills entry for a name as lstat described it; false when the name is not
// to be reported.
bool TDirSearch::TState::Describe(const char* name, struct stat info, TSearchEntry& entry) const {
  if (S_ISLNK(info.st_mode)) {
    struct stat target {};
    if (fstatat(DirFd, name, &target, 0) == 0) {
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
  entry.Identity = info.st_ino != 0 ? IdentityOf(info) : TFileIdentity{};
  // Only a regular file has bytes to check: a device, FIFO or socket is
  // never opened, and is a file of length 0 whatever size it shows.
  entry.Size = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0;
  entry.Attributes = ModeAttributes(info.st_mode);
  if (name[0] == '.' && !IsDotOrDotDot(name)) entry.Attributes |= faHidden;
  return true;
}

bool TDirSearch::TState::NextListed(TSearchEntry& entry) {
  for (;;) {
    if (NextName == Listed.size()) {
      Error = ListingError;
      return false;
    }
    const TListed& listed = Listed[NextName++];
    const char* name = NameAt(listed);
    struct stat info {};
    if (fstatat(DirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      // Gone since readdir listed it: nothing left to verify.
      if (errno == ENOENT) continue;
      // The whole drive gone: every name left would fail alike, each
      // perhaps only after the device's own time limits.
      if (DriveLost(errno)) return false;
      // Listed but not examinable (a directory readable without search
      // permission): report it by its type so that the open of a file fails
      // with the system's code instead of the file silently vanishing.
      info = {};
      info.st_mode = listed.Type == DT_DIR ? (S_IFDIR | S_IWUSR) : (S_IFREG | S_IWUSR);
    }
    if (!Describe(name, info, entry) || !Admits(entry)) continue;
    if (!OnlyDirectories || (entry.Attributes & faDirectory) != 0) return true;
  }
}

// An I/O error of one name may be one damaged inode; the file system
// that cannot even say what it holds any more is gone as a whole.
bool TDirSearch::TState::DriveLost(int code) {
  struct statfs info {};
  if (!IsDriveGoneCode(code) && (code != EIO || fstatfs(DirFd, &info) == 0)) return false;
  Error = code;
  DriveGone = true;
  return true;
}

bool TDirSearch::TState::LookUpName(TSearchEntry& entry) {
  struct stat info {};
  if (fstatat(DirFd, Mask.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    // No such name (or one too long for any name to have) is no match; any
    // other failure means the directory could not be searched.
    if (errno != ENOENT && errno != ENAMETOOLONG) Error = errno;
    return false;
  }
  return Describe(Mask.c_str(), info, entry) && Admits(entry);
}

TDirSearch::TDirSearch(const TDirectoryChain& directory, std::string_view mask,
                       TAttributes attributeSet, TLimit limit)
    : State(std::make_unique<TState>()) {
  State->OnlyDirectories = limit == OnlyDirectories;
  State->Start(directory, mask, attributeSet, limit);
}

TDirSearch::TDirSearch(std::string_view pattern, TAttributes attributeSet)
    : State(std::make_unique<TState>()) {
  State->OwnDirectory = std::make_unique<TDirectoryChain>(DirectoryPart(pattern));
  State->Start(*State->OwnDirectory, NamePart(pattern), attributeSet, Everything);
}

TDirSearch::~TDirSearch() = default;

bool TDirSearch::Next(TSearchEntry& entry) {
  TState& state = *State;
  if (state.Error != 0) return false;
  if (!state.LookUp) return state.NextListed(entry);
  // A plain name is one entry at most.
  if (state.LookedUp) return false;
  state.LookedUp = true;
  return state.LookUpName(entry);
}

int TDirSearch::Error() const { return State->Error; }

bool TDirSearch::DriveGone() const { return State->DriveGone || IsDriveGoneCode(State->Error); }

bool IsDriveGoneCode(int code) { return code == ENOTCONN || code == ENODEV || code == ESHUTDOWN; }

int NameError(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? 0 : errno;
}

}  // namespace Platform
