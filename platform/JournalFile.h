#pragma once
// A file of records that grows by one line at a time and is made durable in
// batches: a crash, a kill or a power cut leaves every line synced before
// it, and at most one torn line at the end, which the next writer cuts off.
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

class TJournalFile {
 public:
  TJournalFile() = default;
  ~TJournalFile();
  TJournalFile(const TJournalFile&) = delete;
  TJournalFile& operator=(const TJournalFile&) = delete;

  // Opens fileName for appending, creating it, and holds it against other
  // writers while open. A last line without its line feed (a write cut
  // short) is removed first. 0 or the errno.
  int Open(const std::string& fileName);
  // Whether a code from Open says another writer holds the file.
  static bool InUse(int code);
  // Adds one line; line holds its line feed. 0 or the errno.
  int Append(std::string_view line);
  // Puts what was appended on the medium. 0 or the errno.
  int Sync();

 private:
  int Fd = -1;
};

// The whole content of a file; nullopt with error set when it cannot be
// read, with error 0 when there is no such file.
std::optional<std::string> ReadWholeFile(const std::string& fileName, int& error);
// 0, or the errno of the failing unlink.
int RemoveFile(const std::string& fileName);

}  // namespace Platform
