#pragma once
// A file made as its content comes, a piece at a time, that replaces what
// the name held only when it is complete: a failed or abandoned write never
// costs the file that was there.
#include <cstdint>
#include <string>
#include <string_view>

#include "SafeFile.h"

namespace Platform {

class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile() { Abandon(); }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Gets fileName ready for a new content:
  // - A descriptor named as a file (/dev/stdout, /dev/stderr, /dev/fd/N,
  //   /proc/self/fd/N, however reached: FilePlace.h), and whatever is not a regular file (a FIFO with a
  //   reader, a terminal, a device), is written through as a stream, in
  //   append mode when the descriptor is; it is never replaced, and never
  //   truncated.
  // - A regular file, new or existing, is replaced once the content is
  //   complete: the content goes to an unnamed file in its directory where
  //   the file system allows one (a killed run leaves nothing behind),
  //   otherwise to a temporary file beside it. An existing file's owner,
  //   group and permission bits pass to the new one. A symbolic link is
  //   followed: the file it names is replaced, the link stays a link.
  // - Where the directory refuses new files but the file may be written,
  //   it is rewritten in place, only once the space for the new content
  //   has been reserved: a full disk leaves the old content as it was.
  TWriteResult Open(const std::string& fileName);
  // The same for a file that others follow as it grows (`tail -f`): a
  // regular file is emptied and written in place instead of replaced, so
  // what was appended is in it at once, and a killed program leaves what
  // it had written. It is emptied by the first Append: abandoned before,
  // it stays as it was (one made here is removed).
  TWriteResult OpenGrowing(const std::string& fileName);
  // Adds bytes to the content.
  TWriteResult Append(std::string_view bytes);
  // Puts the content in place; the file is closed whatever the result.
  TWriteResult Commit();
  // Closes without putting anything in place; a replaced file stays as it
  // was. Nothing happens after Commit.
  void Abandon();
  // Removes a named temporary file at once, for a program about to die of a
  // signal; safe while another thread appends.
  void RemoveTemporary() const;

  bool IsStream() const { return Mode == TMode::Stream; }

 private:
  enum class TMode { Closed, Stream, Replace, InPlace };
  TWriteResult OpenStream(int fd, bool duplicate);
  TWriteResult OpenReplacement(const std::string& target, bool exists);
  TWriteResult CommitReplacement();
  TWriteResult CommitInPlace();
  TWriteResult Fail(TWriteStage stage, int error);

  TMode Mode = TMode::Closed;
  int Fd = -1;
  std::string Target;
  std::string TempName;    // a named temporary file; empty for an unnamed one
  bool KeepOwner = false;  // the replaced file's owner, group and mode
  std::uint32_t OwnerId = 0, GroupId = 0, ModeBits = 0;
  std::int64_t OldSize = 0;
  std::string Pending;     // the content rewritten in place, kept until Commit
  bool EmptyFirst = false; // a growing file not emptied yet
  std::string MadeName;    // a growing file made here and not written yet
};

// The path a file written to fileName ends up at: a symbolic link's target.
std::string FinalPath(const std::string& fileName);

}  // namespace Platform
