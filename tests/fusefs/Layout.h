#pragma once
// The table of files and directories korvane_testfs serves, read from the
// layout file the test helper writes.
//
// One entry a line; blank lines and lines starting with '#' are ignored:
//   file path=a/b.bin size=5000 error_at=2100 actual_size=3000 delay_ms=200 mode=644 deny_open=1
//   file path=worn.bin size=5000 good_reads=1
//   file path=note.txt content=hello%0Aworld
//   dir path=empty mode=755
// Keys may be left out (defaults: size 0, no error, data to the listed size,
// no delay, mode 644 for files and 755 for directories). Values are
// percent-encoded (%XX) so that names and contents may hold any byte,
// spaces and newlines included. Directories above a path are implied.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
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
  int GoodReads = -1;         // read requests served before all later ones fail with EIO; -1: all
  std::optional<std::string> Content;
  std::vector<std::string> Children;  // in the order the layout named them
};

class TLayout {
 public:
  TLayout();
  // Takes the whole layout text; returns an empty string, or what is wrong
  // ("line 3: ...").
  std::string Load(const std::string& text);
  // path as FUSE gives it: "/" or "/a/b".
  const TLayoutNode* Find(const std::string& path) const;

 private:
  std::string LoadLine(const std::string& line);
  std::string AddNode(const std::string& relative, const TLayoutNode& node);

  std::map<std::string, TLayoutNode> Nodes;
};

// Serves one read request: the number of bytes placed in buffer, or a
// negative errno.
int ReadNode(const TLayoutNode& node, char* buffer, std::size_t size, std::int64_t offset);
