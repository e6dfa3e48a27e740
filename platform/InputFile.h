#pragma once
// The program's own input files (a state to resume from, checksum files,
// earlier reports), read line by line in bounded memory. Only a regular
// file is taken: a FIFO would block the open, a device could be endless.
// A line longer than its limit (MaxLine unless given) is passed over and counted, never held.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Platform {

struct TInputLine {
  std::string_view Text;  // without its line feed; empty for a line passed over
  std::size_t Number = 0;  // from 1
  std::int64_t Offset = 0;  // of its first byte in the file
  bool Ended = false;       // its line feed was there (false: the file's torn end)
  bool TooLong = false;     // longer than the limit: passed over, Text empty
};

class TInputFile {
 public:
  static constexpr std::size_t MaxLine = std::size_t{1} << 20;
  // Open's code for a name that is not a regular file.
  static constexpr int NotRegular = -1;

  // longestLine: for files whose lines may be longer (a report's header
  // names every item).
  explicit TInputFile(std::size_t longestLine = MaxLine) : LongestLine(longestLine) {}
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // 0, NotRegular, or the errno of the failing open (ENOENT included).
  int Open(const std::string& path);
  // The next line; false at the end, or on a read error (then Error()).
  bool Next(TInputLine& line);
  int Error() const { return ReadError; }
  // length bytes at offset, read again (a line found earlier); 0 or errno.
  int ReadAt(std::int64_t offset, std::size_t length, std::string& text) const;

 private:
  bool Fill();
  bool PassOverLongLine(TInputLine& line);

  const std::size_t LongestLine;
  int Fd = -1;
  int ReadError = 0;
  bool AtEnd = false;
  std::string Buffer;
  std::size_t Start = 0;        // of the unread part of Buffer
  std::int64_t BufferAt = 0;    // file offset of Buffer[0]
  std::size_t LineNumber = 0;
};

// For a message: why an input file could not be opened or read.
std::string InputFileErrorText(int code);

}  // namespace Platform
