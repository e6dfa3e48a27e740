#include "JournalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "SafeFile.h"

namespace Platform {

TJournalFile::~TJournalFile() {
  if (Fd >= 0) close(Fd);
}

int TJournalFile::Open(const std::string& fileName) {
  int error = 0;
  const std::optional<std::string> content = ReadWholeFile(fileName, error);
  if (!content && error != 0) return error;
  do {
    Fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
  } while (Fd < 0 && errno == EINTR);
  if (Fd < 0) return errno;
  if (content && !content->empty() && content->back() != '\n') {
    const std::size_t kept = content->rfind('\n') + 1;  // 0 when no line is whole
    if (ftruncate(Fd, static_cast<off_t>(kept)) != 0) return errno;
  }
  return 0;
}

int TJournalFile::Append(std::string_view line) { return Fd < 0 ? EBADF : WriteAll(Fd, line); }

int TJournalFile::Sync() { return Fd < 0 || fdatasync(Fd) == 0 ? 0 : errno; }

std::optional<std::string> ReadWholeFile(const std::string& fileName, int& error) {
  int fd = -1;
  do {
    fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno == ENOENT ? 0 : errno;
    return std::nullopt;
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = errno;
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return content;
}

int RemoveFile(const std::string& fileName) { return unlink(fileName.c_str()) == 0 ? 0 : errno; }

}  // namespace Platform
