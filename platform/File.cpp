#include "File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

namespace Platform {

namespace {

// Linux moves at most about 2 GiB per read call; asking for less keeps the
// count within ssize_t on every platform.
constexpr std::int64_t MaxChunk = std::int64_t{1} << 30;

// cachestat(2) (Linux 6.5): how many of a file's pages are in memory, in
// one call whatever the file's size. Older headers lack it.
#ifndef __NR_cachestat
#define __NR_cachestat 451
#endif
struct TCacheStatRange {
  std::uint64_t Offset, Length;
};
struct TCacheStat {
  std::uint64_t Cached, Dirty, Writeback, Evicted, RecentlyEvicted;
};

// Opens the inode an open descriptor refers to afresh, for reading,
// through /proc. The process's descriptor directory is held open: looking
// up /proc/self anew for each file cost as much as the rest of the open.
// A child forked from this process has a directory of its own.
int OpenAgainForReading(int fd) {
  static const pid_t owner = getpid();
  static const int descriptors = open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC);
  const std::string number = std::to_string(fd);
  int fresh = -1;
  do {
    fresh = descriptors >= 0 && getpid() == owner
                ? openat(descriptors, number.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)
                : open(("/proc/self/fd/" + number).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fresh < 0 && errno == EINTR);
  return fresh;
}

}  // namespace

TReadFile::~TReadFile() { Close(); }

int TReadFile::Open(const std::string& path) { return OpenAt(AT_FDCWD, path.c_str()); }

int TReadFile::Open(TDirectoryChain& directory, const std::string& name) {
  if (directory.Error() != 0) {
    Close();
    return directory.Error();
  }
  int code = OpenAt(directory.Descriptor(), name.c_str());
  while ((code == EMFILE || code == ENFILE) && directory.GiveBackDescriptors())
    code = OpenAt(directory.Descriptor(), name.c_str());
  return code;
}

int TReadFile::OpenIn(int directory, const std::string& name) {
  return OpenAt(directory, name.c_str());
}

void TReadFile::Take(TReadFile& other) {
  Close();
  Fd = std::exchange(other.Fd, -1);
  Opened = std::exchange(other.Opened, {});
  BlockBytes = other.BlockBytes;
}

int TReadFile::DuplicateDescriptor(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }

// The name is first pinned with O_PATH, which opens nothing: a FIFO swapped
// in since the listing cannot make the open wait for a writer, and a device
// never sees an open. Only a regular file is then opened for reading,
// through /proc so that it is that very inode. No O_NONBLOCK: an open lease
// (Samba, an NFS delegation) refuses a non-blocking open, where a blocking
// one waits for the lease break as cat's does. O_NOCTTY: no terminal ever
// becomes ours. O_CLOEXEC: nothing leaks into programs started later.
int TReadFile::OpenAt(int dirFd, const char* name) {
  Close();
  const int pinned = openat(dirFd, name, O_PATH | O_CLOEXEC);
  if (pinned < 0) return errno;
  struct stat info {};
  int error = fstat(pinned, &info) != 0 ? errno : 0;
  if (error == 0 && !S_ISREG(info.st_mode)) error = S_ISDIR(info.st_mode) ? EISDIR : ENXIO;
  if (error == 0) {
    Opened = IdentityOf(info);
    BlockBytes = static_cast<std::int64_t>(info.st_blocks) * 512;
    Fd = OpenAgainForReading(pinned);
    // Without /proc the name is opened again; it was a regular file a
    // moment ago, and what it is now is checked on the descriptor.
    if (Fd < 0 && errno == ENOENT) {
      do {
        Fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
      } while (Fd < 0 && errno == EINTR);
    }
    if (Fd < 0) error = errno;
  }
  close(pinned);
  return error;
}

int TReadFile::Read(void* buffer, std::int64_t count, std::int64_t& done) {
  return ReadDescriptor(Fd, buffer, count, done);
}

int TReadFile::ReadDescriptor(int fd, void* buffer, std::int64_t count, std::int64_t& done) {
  done = 0;
  if (fd < 0) return EBADF;
  if (count < 0) return EINVAL;
  auto* bytes = static_cast<unsigned char*>(buffer);
  // POSIX may return less than asked without any fault, so only end of file
  // (0) or an error ends the loop early.
  while (done < count) {
    const auto chunk = static_cast<std::size_t>(std::min(count - done, MaxChunk));
    const ssize_t got = read(fd, bytes + done, chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    done += got;
  }
  return 0;
}

TReadFile::TReadyReads TReadFile::ReadyReads() const {
  return OnMemoryFileSystem(Fd) ? TReadyReads::InMemory : TReadyReads::Asked;
}

bool TReadFile::ReadIfReady(TReadyReads& kind, void* buffer, std::int64_t count, std::int64_t& done) {
  done = 0;
  if (Fd < 0 || count <= 0 || kind == TReadyReads::Unknown) return false;
  auto* bytes = static_cast<unsigned char*>(buffer);
  // RWF_NOWAIT returns at once with what the cache holds; the pages may be
  // partly there, so it is asked again until it gives nothing.
  const int flags = kind == TReadyReads::Asked ? RWF_NOWAIT : 0;
  while (done < count) {
    iovec piece{bytes + done, static_cast<std::size_t>(std::min(count - done, MaxChunk))};
    const ssize_t got = preadv2(Fd, &piece, 1, -1, flags);
    if (got < 0 && errno == EINTR) continue;
    // A file system that cannot be asked so says it on the first read.
    if (got < 0 && errno == EOPNOTSUPP) kind = TReadyReads::Unknown;
    if (got <= 0) break;
    done += got;
  }
  return done == count;
}

bool TReadFile::MayHaveHoles() const { return Fd >= 0 && BlockBytes < Opened.Size; }

TReadFile::TDataStretch TReadFile::DataStretchFrom(std::int64_t offset) {
  TDataStretch stretch{offset};
  const off_t data = lseek(Fd, offset, SEEK_DATA);
  struct stat info {};
  if (data >= 0) {
    stretch.Start = data;
    const off_t hole = lseek(Fd, data, SEEK_HOLE);
    if (hole >= 0) stretch.End = hole;
  } else if (errno == ENXIO && fstat(Fd, &info) == 0) {
    stretch.Start = std::max<std::int64_t>(offset, info.st_size);
  }
  lseek(Fd, offset, SEEK_SET);
  return stretch;
}

int TReadFile::SkipForward(std::int64_t count) {
  if (count <= 0) return 0;
  return lseek(Fd, count, SEEK_CUR) < 0 ? errno : 0;
}

int TReadFile::SeekTo(std::int64_t offset) {
  return lseek(Fd, offset, SEEK_SET) < 0 ? errno : 0;
}

void TReadFile::ReopenAt(std::int64_t offset) {
  if (Fd < 0) return;
  const int fresh = OpenAgainForReading(Fd);
  struct stat info {};
  if (fresh >= 0 && fstat(fresh, &info) == 0 && info.st_dev == Opened.Device &&
      info.st_ino == Opened.Inode) {
    close(Fd);
    Fd = fresh;
  } else if (fresh >= 0) {
    close(fresh);
  }
  SeekTo(offset);
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

bool TReadFile::PagesStillCached() const {
  if (Fd < 0) return false;
  TCacheStatRange range{0, 0};  // length 0: to the end of the file
  TCacheStat stat{};
  // A kernel without the call cannot tell; the drop was made all the same.
  if (syscall(__NR_cachestat, Fd, &range, &stat, 0) != 0) return false;
  return stat.Cached > 0;
}

void TReadFile::ReadAhead(std::int64_t bytes) {
  if (Fd >= 0 && bytes > 0) posix_fadvise(Fd, 0, bytes, POSIX_FADV_WILLNEED);
}

void TReadFile::Close() {
  if (Fd < 0) return;
  CloseDescriptor(Fd);
  Fd = -1;
  Opened = {};
}

int TReadFile::Release() {
  const int fd = Fd;
  Fd = -1;
  Opened = {};
  return fd;
}

void TReadFile::CloseDescriptor(int fd) {
  // Not retried on EINTR: Linux releases the descriptor even then, and a
  // second close could hit a descriptor another thread has just opened.
  if (fd >= 0) close(fd);
}

}  // namespace Platform
