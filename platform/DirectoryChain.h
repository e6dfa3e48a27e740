#pragma once
// The directories a depth-first walk stands in, from where it started down
// to where it is now. Each one is opened relative to the one above it, so
// no path is ever handed to the system whole: neither the depth of a tree
// nor the length of its paths sets a limit. Only the innermost few stay
// open; the walk's way back up opens the others again by name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct stat;

namespace Platform {

// What makes an open file or directory the one that was expected: the same
// inode, not changed since. Two descriptors of one unchanged file compare
// equal.
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = -1;
  std::int64_t ModifiedNs = 0;
  std::int64_t ChangedNs = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// Of an open descriptor; empty when it cannot be examined.
TFileIdentity IdentityOf(int fd);
// Whether an open descriptor's file system keeps its files in memory
// only (tmpfs, ramfs): reading them never waits for a medium.
bool OnMemoryFileSystem(int fd);
// Of what fstat or stat said.
TFileIdentity IdentityOf(const struct stat& info);

class TDirectoryChain {
 public:
  // Enough for the depth of nearly every real tree, so that a walk over one
  // never opens a directory twice, and few beside the program's own.
  static constexpr std::size_t DefaultOpenLimit = 32;
  // wanted, or less when the process may hold so few descriptors
  // (RLIMIT_NOFILE) that a walk keeping wanted open would leave none for
  // the files it reads.
  static std::size_t OpenLimitWithin(std::size_t wanted);

  // Starts at the directory path names ("" for the working directory),
  // opened one component at a time. Symbolic links in the path itself are
  // followed, as the user gave it.
  explicit TDirectoryChain(std::string_view path,
                           std::size_t openLimit = OpenLimitWithin(DefaultOpenLimit));
  ~TDirectoryChain();
  TDirectoryChain(const TDirectoryChain&) = delete;
  TDirectoryChain& operator=(const TDirectoryChain&) = delete;

  // Goes down into the innermost directory's subdirectory name. A symbolic
  // link is never entered, so a walk cannot loop. A failure is kept as the
  // new innermost directory's Error.
  void Enter(const std::string& name);
  // Back to the directory above; the start is never left.
  void Leave();

  // True when the chain stands at its start, was made for path, and path
  // still names that very directory: a walk of the next item in the same
  // directory can then use it instead of opening the way down again.
  bool StandsAt(std::string_view path) const;

  // 0 while the innermost directory is open; otherwise the system's code
  // for why it could not be (also when one above it was lost).
  int Error() const { return Levels.back().Error; }
  // The innermost directory's descriptor for the platform layer's own
  // calls relative to it; -1 when Error is set.
  int Descriptor() const { return Levels.back().Fd; }
  // Closes every level above the innermost, which is opened again on the
  // way back up, so that an open that ran out of descriptors can be tried
  // again. False when there was nothing to give back.
  bool GiveBackDescriptors();

  // The innermost directory as it is now (size and times included, so that
  // a listing of it can be known to be still valid); empty when Error is set.
  TFileIdentity Identity() const;
  // Whether the innermost directory lies on a file system kept in memory
  // (tmpfs, ramfs): its files have no medium to read ahead from or to drop.
  bool InMemory() const;

  // Descriptors open below the start; never more than the limit.
  std::size_t OpenBelowStart() const { return OpenCount; }

 private:
  struct TLevel {
    std::string Name;
    int Fd = -1;
    int Error = 0;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
  };
  void OpenLevel(std::size_t index, bool again);
  void CloseLevel(TLevel& level);
  bool GiveBackAbove(std::size_t keep);
  void KeepWithinLimit(std::size_t innermost);
  void Reopen();

  std::vector<TLevel> Levels;
  std::string StartPath;
  std::size_t OpenLimit;
  std::size_t OpenCount = 0;
};

}  // namespace Platform
