#include "JournalFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "SafeFile.h"

namespace Platform {

TJournalFile::~TJournalFile() {
  if (Fd >= 0) close(Fd);
}

namespace {

// Cuts a last line without its line feed off; only the file's end is read.
int CutTornLine(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return errno;
  char buffer[4096];
  for (off_t end = info.st_size; end > 0;) {
    const off_t from = std::max<off_t>(0, end - static_cast<off_t>(sizeof buffer));
    const ssize_t got = pread(fd, buffer, static_cast<std::size_t>(end - from), from);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got < 0 ? errno : EIO;
    for (ssize_t i = got; i > 0; --i) {
      if (buffer[i - 1] != '\n') continue;
      const off_t kept = from + i;
      return kept == info.st_size || ftruncate(fd, kept) == 0 ? 0 : errno;
    }
    end = from;
  }
  return info.st_size == 0 || ftruncate(fd, 0) == 0 ? 0 : errno;  // no line is whole
}

}  // namespace

int TJournalFile::Open(const std::string& fileName) {
  do {
    Fd = open(fileName.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
  } while (Fd < 0 && errno == EINTR);
  if (Fd < 0) return errno;
  // Two writers would mix their lines, and the first to finish would
  // remove the other's file. A file system without locks is written all
  // the same.
  if (flock(Fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return errno;
  return CutTornLine(Fd);
}

bool TJournalFile::InUse(int code) { return code == EWOULDBLOCK; }

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
