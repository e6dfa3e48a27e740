#include "File.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Platform {

namespace {

// Linux moves at most about 2 GiB per read call; asking for less keeps the
// count within ssize_t on every platform.
constexpr std::int64_t MaxChunk = std::int64_t{1} << 30;

}  // namespace

TReadFile::~TReadFile() { Close(); }

int TReadFile::Open(const std::string& path) { return OpenAt(AT_FDCWD, path.c_str()); }

int TReadFile::Open(const TDirectoryChain& directory, const std::string& name) {
  if (directory.Error() != 0) {
    Close();
    return directory.Error();
  }
  return OpenAt(directory.Descriptor(), name.c_str());
}

int TReadFile::OpenAt(int dirFd, const char* name) {
  Close();
  // O_NONBLOCK: a FIFO without a writer or a device waiting for a medium
  // must fail or end at once instead of hanging the run; for regular files
  // it changes nothing. O_NOCTTY: opening a terminal device must never make
  // it our controlling terminal. O_CLOEXEC: no descriptor leaks into
  // programs started later.
  do {
    Fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (Fd < 0 && errno == EINTR);
  return Fd < 0 ? errno : 0;
}

int TReadFile::Read(void* buffer, std::int64_t count, std::int64_t& done) {
  done = 0;
  if (Fd < 0) return EBADF;
  if (count < 0) return EINVAL;
  auto* bytes = static_cast<unsigned char*>(buffer);
  // POSIX may return less than asked without any fault, so only end of file
  // (0) or an error ends the loop early.
  while (done < count) {
    const auto chunk = static_cast<std::size_t>(std::min(count - done, MaxChunk));
    const ssize_t got = read(Fd, bytes + done, chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    done += got;
  }
  return 0;
}

void TReadFile::DropCachedPages() {
  if (Fd < 0) return;
  // Dirty pages cannot be dropped, so they are written first. Only this
  // file's, and only if there are any: fdatasync may flush the device's
  // whole write cache for every file, milliseconds each on a hard disk.
  // sync_file_range works on a descriptor opened for reading.
  sync_file_range(Fd, 0, 0,
                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  posix_fadvise(Fd, 0, 0, POSIX_FADV_DONTNEED);
}

void TReadFile::ReadAhead(std::int64_t bytes) {
  if (Fd >= 0 && bytes > 0) posix_fadvise(Fd, 0, bytes, POSIX_FADV_WILLNEED);
}

void TReadFile::Close() {
  if (Fd < 0) return;
  // Not retried on EINTR: Linux releases the descriptor even then, and a
  // second close could hit a descriptor another thread has just opened.
  close(Fd);
  Fd = -1;
}

}  // namespace Platform
