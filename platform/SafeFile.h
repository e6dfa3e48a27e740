#pragma once
// Writing a whole file so that a failure never costs the file that was
// there: the text goes to a temporary file beside it, which takes the
// file's name only once every byte is written and on the disk.
#include <functional>
#include <string>
#include <string_view>

namespace Platform {

enum class TWriteStage {
  None,    // written
  Create,  // the file (or its temporary copy) could not be made or put in place
  Write,   // fewer bytes reached the disk than the content holds
};

struct TWriteResult {
  TWriteStage Failed = TWriteStage::None;
  int Error = 0;  // errno of the failing call
  explicit operator bool() const { return Failed == TWriteStage::None; }
};

// Makes content the whole of fileName, as TOutputFile (OutputFile.h) does:
// a regular file is replaced atomically, keeping its owner, group and
// permission bits; a descriptor's name, a device or a FIFO is written as a
// stream; where the directory refuses new files, the file is rewritten in
// place once the space is reserved.
TWriteResult ReplaceFileContent(const std::string& fileName, std::string_view content);

// The same for content made piece by piece, so that a large text never has
// to be held whole: produce puts the next piece into its argument and
// returns false once there is none.
using TContentProducer = std::function<bool(std::string& piece)>;
TWriteResult ReplaceFileContent(const std::string& fileName, const TContentProducer& produce);

// 0 when ReplaceFileContent could put a file in place as fileName, as far
// as can be told before (a temporary file beside it can be made, or the
// file written in place), otherwise the errno of the failing call. Leaves
// nothing behind.
int CheckReplaceable(const std::string& fileName);

// Writes all of data, retrying short writes and EINTR; 0 or the errno of the
// failing write (ENOSPC for a write that makes no progress).
int WriteAll(int fd, std::string_view data);

// Creates a new, empty file in the directory of fileName (a rename is atomic
// only within one file system), named so that it cannot clash with a file
// of the user's. Mode 0666 lets the umask decide. The descriptor, or -1 with
// errno set.
int CreateTemporaryBeside(const std::string& fileName, std::string& tempName);

}  // namespace Platform
