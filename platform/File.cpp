#include "File.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
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

bool PastCacheSet(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_DIRECT) != 0;
}

bool SetPastCache(int fd, bool on) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// What reads past the cache must be aligned to, in offset and length; the
// file system's own figure where it gives one.
std::int64_t PastCacheAlignment(int fd) {
  struct statx info {};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 &&
      (info.stx_mask & STATX_DIOALIGN) != 0 && info.stx_dio_offset_align > 0)
    return std::max<std::int64_t>(info.stx_dio_offset_align, info.stx_dio_mem_align);
  return 4096;
}

// A read past the cache that the file system refused for its alignment:
// the aligned blocks around the bytes wanted are read into a buffer of
// their own, and the bytes copied out. The read position moves as for a
// plain read.
int ReadAlignedPastCache(int fd, unsigned char* buffer, std::int64_t count, std::int64_t& done) {
  constexpr std::int64_t Piece = std::int64_t{1} << 20;
  const std::int64_t align = PastCacheAlignment(fd);
  const off_t position = lseek(fd, 0, SEEK_CUR);
  if (position < 0) return errno;
  const std::int64_t base = position - done;  // where this read began
  struct TAlignedFree {
    std::align_val_t Align;
    void operator()(unsigned char* block) const { ::operator delete[](block, Align); }
  };
  const std::align_val_t memory{static_cast<std::size_t>(align)};
  const std::int64_t room = std::min(count - done, Piece) + 2 * align;
  const std::unique_ptr<unsigned char[], TAlignedFree> block(
      static_cast<unsigned char*>(::operator new[](static_cast<std::size_t>(room), memory)),
      TAlignedFree{memory});
  int code = 0;
  while (done < count) {
    const std::int64_t at = base + done;
    const std::int64_t start = at / align * align;
    const std::int64_t wanted = std::min(count - done, Piece);
    const std::int64_t length = (at + wanted - start + align - 1) / align * align;
    ssize_t got = 0;
    do {
      got = pread(fd, block.get(), static_cast<std::size_t>(length), start);
    } while (got < 0 && errno == EINTR);
    if (got < 0) code = errno;
    if (got <= at - start) break;
    const std::int64_t useful = std::min<std::int64_t>(got - (at - start), wanted);
    std::memcpy(buffer + done, block.get() + (at - start), static_cast<std::size_t>(useful));
    done += useful;
    if (got < length) break;  // the file ends here
  }
  lseek(fd, base + done, SEEK_SET);
  return code;
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
      if (errno == EINVAL && PastCacheSet(fd))
        return ReadAlignedPastCache(fd, bytes, count, done);
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
    // The fresh descriptor reads past the cache as the old one did.
    ApplyReadMode();
  } else if (fresh >= 0) {
    close(fresh);
  }
  SeekTo(offset);
}

// A fresh descriptor reads as the file's reads have been asked to.
void TReadFile::ApplyReadMode() const {
  if (ReadingAgain) posix_fadvise(Fd, 0, 0, POSIX_FADV_RANDOM);
  if (PastCacheNow) SetPastCache(Fd, true);
}

bool TReadFile::ReadPastCache() {
  if (Fd < 0 || !SetPastCache(Fd, true)) return false;
  PastCache = PastCacheNow = true;
  return true;
}

void TReadFile::ReadAgainFromMedium(std::int64_t offset, std::int64_t length) {
  if (Fd < 0) return;
  ReadingAgain = true;
  // The whole file: a large cached block reaching into the stretch from
  // before it is not dropped by a drop of the stretch alone.
  DropCachedPages();
  posix_fadvise(Fd, 0, 0, POSIX_FADV_RANDOM);
  if (!PastCacheNow && PagesStillCached(offset, length)) PastCacheNow = SetPastCache(Fd, true);
}

void TReadFile::ReadAsUsual() {
  if (Fd < 0 || !ReadingAgain) return;
  ReadingAgain = false;
  posix_fadvise(Fd, 0, 0, POSIX_FADV_NORMAL);
  if (PastCacheNow && !PastCache) PastCacheNow = !SetPastCache(Fd, false);
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

bool TReadFile::PagesStillCached(std::int64_t offset, std::int64_t length) const {
  if (Fd < 0 || OnMemoryFileSystem(Fd)) return false;
  TCacheStatRange range{static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(length)};
  TCacheStat stat{};
  // A kernel without the call cannot tell; the drop was made all the same.
  if (syscall(__NR_cachestat, Fd, &range, &stat, 0) != 0) return false;
  return stat.Cached > 0;
}

void TReadFile::ReadAhead(std::int64_t bytes) {
  if (Fd >= 0 && bytes > 0) posix_fadvise(Fd, 0, bytes, POSIX_FADV_WILLNEED);
}

// A FUSE file opened for direct I/O refuses a shared mapping (unless its
// server allows one, and then it is read through the cache as well); the
// mapping is never touched, so nothing is read. A file system on a block
// device is no FUSE one: most files are told without a call.
bool TReadFile::ReadsPassCacheBy() const {
  if (Fd < 0 || major(static_cast<dev_t>(Opened.Device)) != 0) return false;
  struct statfs info {};
  if (fstatfs(Fd, &info) != 0 || info.f_type != FUSE_SUPER_MAGIC) return false;
  void* const mapped = mmap(nullptr, 1, PROT_READ, MAP_SHARED, Fd, 0);
  if (mapped == MAP_FAILED) return errno == ENODEV;
  munmap(mapped, 1);
  return false;
}

void TReadFile::Close() {
  if (Fd < 0) return;
  CloseDescriptor(Fd);
  Fd = -1;
  Opened = {};
  PastCache = ReadingAgain = PastCacheNow = false;
}

int TReadFile::Release() {
  const int fd = Fd;
  Fd = -1;
  Opened = {};
  PastCache = ReadingAgain = PastCacheNow = false;
  return fd;
}

void TReadFile::CloseDescriptor(int fd) {
  // Not retried on EINTR: Linux releases the descriptor even then, and a
  // second close could hit a descriptor another thread has just opened.
  if (fd >= 0) close(fd);
}

}  // namespace Platform
