#pragma once
// Mounts korvane_testfs, the project's FUSE filesystem, for one test: files
// with a bad sector at a chosen byte, files that refuse to open even for
// root, files shorter than their listed size, slow files, a tree where
// nothing can be written, and writable directories on a disk that fills up
// or fails mid-write.
#include <sys/types.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

struct TTestFile {
  std::string Path{};             // relative, '/'-separated; directories implied
  std::int64_t Size = 0;          // listed size
  std::int64_t ErrorAt = -1;      // reads covering this offset or beyond fail with EIO
  bool DenyOpen = false;          // open fails with EACCES
  std::int64_t ActualSize = -1;   // data ends here; reads past it return 0 bytes
  int DelayMs = 0;                // each read call sleeps this long
  int OpenDelayMs = 0;            // each open sleeps this long
  int GoodReads = -1;             // read requests served before all later ones fail with EIO
  // [start, end) stretches whose reads fail with EIO; reads beside them succeed
  std::vector<std::pair<std::int64_t, std::int64_t>> BadRanges{};
  // [start, end) stretches whose reads fail with EIO every other time
  std::vector<std::pair<std::int64_t, std::int64_t>> FlakyRanges{};
  // A real file whose bytes and size are served (Size is then ignored)
  std::optional<std::string> Source{};
  // A read touching [Start, End) is answered only after DelayMs: a worn
  // area, or with a long delay a read that hangs in the kernel.
  struct TSlowRegion {
    std::int64_t Start = 0, End = 0;
    int DelayMs = 0;
  };
  std::vector<TSlowRegion> SlowRegions{};
  std::optional<std::string> Content{};  // explicit content (Size then = its length)
  unsigned Mode = 0644;
};

// Content of a file without explicit Content: byte i is (i * 7 + 3) & 0xFF.
char TestFsByte(std::int64_t offset);

// A directory whose files may be created, written, truncated, renamed
// within it and removed; the files listed inside it become writable too.
struct TWritableDir {
  std::string Path{};
  std::int64_t Free = -1;          // bytes its files may still grow by, then ENOSPC; -1: no limit
  std::int64_t WriteErrorAt = -1;  // writes reaching this byte of a file fail with EIO
};

struct TTestFsOptions {
  // The kernel keeps file data in its page cache across opens, as for a
  // disk; otherwise every read() reaches the filesystem as it was made.
  bool KernelCache = false;
  // Each request is answered on a thread of its own, so that a held read
  // does not hold up the rest of the mount; without it, requests are
  // answered one at a time, in order.
  bool Threaded = false;
  // A held request is answered only when its time is up, even when the
  // process that made it is interrupted or killed: a device that does not
  // answer interrupts.
  bool IgnoreInterrupts = false;
  // Directories (relative paths) whose every listing is answered only
  // after so many milliseconds.
  std::vector<std::pair<std::string, int>> SlowListings{};
  std::vector<TWritableDir> WritableDirs{};
};

class TTestFs {
 public:
  // Mounts a fresh filesystem serving these files on a new temporary directory.
  explicit TTestFs(std::vector<TTestFile> files, std::vector<std::string> emptyDirs = {},
                   TTestFsOptions options = {});
  // The same for a braced list. Without it TTestFs fs({{.Path = "a", .Content = "b"}})
  // is ambiguous: the inner braces could also build a vector from the two
  // string literals taken as an iterator pair, and then a TTestFs to copy.
  explicit TTestFs(std::initializer_list<TTestFile> files, std::vector<std::string> emptyDirs = {},
                   TTestFsOptions options = {})
      : TTestFs(std::vector<TTestFile>(files), std::move(emptyDirs), std::move(options)) {}
  // Unmounts (fusermount3 -u, lazily if busy), reaps the filesystem process
  // and removes the mount point.
  ~TTestFs();
  TTestFs(const TTestFs&) = delete;
  TTestFs& operator=(const TTestFs&) = delete;

  bool Mounted() const;
  const std::string& Root() const;  // mount point, no trailing '/'
  std::string PathOf(const std::string& relative) const;  // Root() + "/" + relative
  // Why Mounted() is false, with the tail of the filesystem's own output.
  const std::string& MountError() const;
  // Not mounted because this machine lacks FUSE (no /dev/fuse, no
  // fusermount3, or the mount itself failed), rather than because of the
  // test (a broken layout), which must fail wherever it runs.
  bool FuseUnavailable() const;
  // True when CI is "true": there a missing FUSE fails the test instead of
  // skipping it, so that CI always runs the tests that need it.
  static bool RequiredHere();

  // Read requests the filesystem has served for a file (relative path),
  // and every file it has opened, from its own record.
  int ReadsServed(const std::string& relative) const;
  // The reads asked of a file, in order, as [offset, offset + size).
  std::vector<std::pair<std::int64_t, std::int64_t>> ReadRanges(const std::string& relative) const;
  std::vector<std::string> OpenedFiles() const;

  // Kills the filesystem's process outright, as a drive that is pulled out:
  // every call on the mount fails from then on (ENOTCONN) until the
  // destructor unmounts it.
  void KillDaemon();

 private:
  void Mount(const std::string& layoutPath, const TTestFsOptions& options);
  std::vector<std::string> RecordedPaths(const std::string& kind) const;
  void StopChild();
  bool Fusermount(std::vector<std::string> options) const;
  bool ListedAsMount() const;
  std::string LogTail() const;

  TTempDir WorkDir;  // the layout file, the filesystem's log, the mount point
  std::string MountPoint;
  std::string Error;
  pid_t Child = -1;
  int WatchFd = -1;  // our end of the pipe the filesystem watches
  bool IsMounted = false;
  bool MachineLacksFuse = false;
};

// At the start of a test that needs FUSE: skips the test where FUSE is not
// available (no /dev/fuse, no fusermount3, mount failed), fails it on CI and
// whenever the filesystem refused what the test asked for.
#define KORVANE_REQUIRE_FUSE(fs)                                                    \
  do {                                                                              \
    if (!(fs).Mounted()) {                                                          \
      if ((fs).FuseUnavailable() && !TTestFs::RequiredHere()) {                     \
        GTEST_SKIP() << "FUSE test filesystem unavailable: " << (fs).MountError();  \
      }                                                                             \
      FAIL() << "FUSE test filesystem did not mount: " << (fs).MountError();        \
    }                                                                               \
  } while (false)
