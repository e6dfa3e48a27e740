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

// Makes content the whole of fileName.
// - A regular file, new or existing, is replaced atomically: on any failure
//   the old file stays as it was and the temporary file is removed. The
//   new file keeps an existing file's permission bits.
// - A symbolic link is followed: the file it names is replaced, the link
//   stays a link.
// - Anything else that is not a directory (a device such as /dev/null, a
//   FIFO with a reader) cannot be replaced and is written directly.
// - Where the directory refuses new files but the existing file may be
//   written, the file is written in place, since that is the only way left.
TWriteResult ReplaceFileContent(const std::string& fileName, std::string_view content);

// The same for content made piece by piece, so that a large text never has
// to be held whole: produce puts the next piece into its argument and
// returns false once there is none.
using TContentProducer = std::function<bool(std::string& piece)>;
TWriteResult ReplaceFileContent(const std::string& fileName, const TContentProducer& produce);

// A file written a piece at a time over a long while (a run's log), that
// takes fileName's place only when Commit is called: until then an older
// file of that name stays as it was, and a writer that ends without
// committing leaves nothing behind. What cannot be replaced (a device, a
// FIFO, a file in a directory that refuses new entries) is written in place.
class TReplacingFile {
 public:
  TReplacingFile() = default;
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  TWriteResult Create(const std::string& fileName);
  TWriteResult Write(std::string_view data);
  // Puts the written file in place (mode of the file it replaces, on the
  // disk first) and closes it.
  TWriteResult Commit();
  // Removes the temporary file at once, for a program about to die; safe
  // while another thread writes.
  void Abandon() const;

 private:
  int Fd = -1;
  std::string Target;
  std::string TempName;  // empty when writing in place
  bool HadOriginal = false;
  unsigned OriginalMode = 0;
};

// Writes all of data, retrying short writes and EINTR; 0 or the errno of the
// failing write (ENOSPC for a write that makes no progress).
int WriteAll(int fd, std::string_view data);

// Creates a new, empty file in the directory of fileName (a rename is atomic
// only within one file system), named so that it cannot clash with a file
// of the user's. Mode 0666 lets the umask decide. The descriptor, or -1 with
// errno set.
int CreateTemporaryBeside(const std::string& fileName, std::string& tempName);

}  // namespace Platform
