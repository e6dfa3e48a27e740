#pragma once
// The table of files and directories korvane_testfs serves, read from the
// layout file the test helper writes.
//
// One entry a line; blank lines and lines starting with '#' are ignored:
//   file path=a/b.bin size=5000 error_at=2100 actual_size=3000 delay_ms=200 mode=644 deny_open=1
//   file path=worn.bin size=5000 good_reads=1
//   file path=scratched.bin size=9000 bad=100-200 bad=4096-8192
//   file path=dying.bin size=9000 slow=4096-8192:1500
//   file path=flaky.bin size=9000 flaky=4096-8192
//   file path=disk.img source=/tmp/x/disk.img bad=3350528-3354624
//   file path=note.txt content=hello%0Aworld
//   dir path=empty mode=755
//   dir path=out writable=1 free=4096 write_error_at=100000
// Keys may be left out (defaults: size 0, no error, data to the listed size,
// no delay, mode 644 for files and 755 for directories). Values are
// percent-encoded (%XX) so that names and contents may hold any byte,
// spaces and newlines included. Directories above a path are implied.
// Only a writable directory can be changed: files in it may be created,
// written, truncated, renamed within it and removed. free= is the number of
// bytes its files may still grow by (a write that does not fit is cut short,
// then fails with ENOSPC); writes reaching byte write_error_at of a file
// fail with EIO. A read touching a slow=START-END:MS stretch is answered
// only after MS milliseconds, as a worn area or a hanging sector is;
// open_delay_ms=MS holds each open of the file as long; a directory's
// delay_ms=MS holds each listing of it. Reads touching a
// flaky=START-END stretch fail with EIO every other time, the first time
// included, as a loose cable or a marginal sector does. source=PATH serves
// the bytes (and the size) of a real file, for an image a loop device can
// be set up on.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <string>
#include <vector>

struct TLayoutNode {
  bool Directory = false;
  unsigned Mode = 0644;
  std::int64_t Size = 0;      // what getattr reports
  std::int64_t DataEnd = 0;   // reads at or past it return 0 bytes
  std::int64_t ErrorAt = -1;  // reads covering this byte or later ones fail with EIO
  bool DenyOpen = false;
  int DelayMs = 0;
  int OpenDelayMs = 0;
  int GoodReads = -1;         // read requests served before all later ones fail with EIO; -1: all
  std::vector<std::pair<std::int64_t, std::int64_t>> BadRanges;  // [start, end), EIO
  // [start, end): EIO for every other read touching one
  std::vector<std::pair<std::int64_t, std::int64_t>> FlakyRanges;
  std::optional<std::string> Source;  // a real file whose bytes are served
  struct TSlowRegion {
    std::int64_t Start = 0, End = 0;  // [start, end)
    int DelayMs = 0;
  };
  std::vector<TSlowRegion> SlowRegions;
  std::optional<std::string> Content;
  std::vector<std::string> Children;  // in the order the layout named them
  bool Writable = false;              // directories only
  std::int64_t Free = -1;
  std::int64_t WriteErrorAt = -1;
};

class TLayout {
 public:
  TLayout();
  // Takes the whole layout text; returns an empty string, or what is wrong
  // ("line 3: ...").
  std::string Load(const std::string& text);
  // path as FUSE gives it: "/" or "/a/b".
  const TLayoutNode* Find(const std::string& path) const;

  // Changes through a writable directory, as the FUSE calls ask for them:
  // each returns 0 (Write: the count written) or a negative errno.
  bool InWritableDir(const std::string& path) const;
  int Create(const std::string& path, unsigned mode);
  int Write(const std::string& path, const char* data, std::size_t size, std::int64_t offset);
  int Truncate(const std::string& path, std::int64_t size);
  int Chmod(const std::string& path, unsigned mode);
  int Remove(const std::string& path);
  int Rename(const std::string& from, const std::string& to);

 private:
  std::string LoadLine(const std::string& line);
  std::string AddNode(const std::string& relative, const TLayoutNode& node);
  TLayoutNode* FindNode(const std::string& path);
  // The file at path and its writable directory, or nullptr for both.
  std::pair<TLayoutNode*, TLayoutNode*> WritableFile(const std::string& path);
  int Resize(TLayoutNode& file, TLayoutNode& dir, std::int64_t size);

  std::map<std::string, TLayoutNode> Nodes;
};

// Serves one read request: the number of bytes placed in buffer, or a
// negative errno.
int ReadNode(const TLayoutNode& node, char* buffer, std::size_t size, std::int64_t offset);
// How long a read request waits before it is answered.
int ReadDelayMs(const TLayoutNode& node, std::size_t size, std::int64_t offset);
