#include "OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

#include "FilePlace.h"

namespace Platform {

namespace {

int OpenForWriting(const std::string& fileName, int flags) {
  int fd = -1;
  do {
    fd = open(fileName.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string DirectoryOf(const std::string& fileName) {
  const std::size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : fileName.substr(0, slash);
}

// Gives an unnamed file a temporary name beside target, so that a rename
// can put it in place. The descriptor stays the file's.
int LinkBeside(int fd, const std::string& target, std::string& tempName) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A name that is free now: the temporary file is removed at once.
    const int probe = CreateTemporaryBeside(target, tempName);
    if (probe < 0) return errno;
    close(probe);
    unlink(tempName.c_str());
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tempName.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

}  // namespace

// The path the content is to end up at: a symbolic link's target, so that
// the rename replaces the file and not the link.
std::string FinalPath(const std::string& fileName) {
  struct stat link {};
  if (lstat(fileName.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return fileName;
  const std::unique_ptr<char, decltype(&free)> resolved(realpath(fileName.c_str(), nullptr), &free);
  return resolved ? std::string(resolved.get()) : fileName;
}

void TOutputFile::RemoveTemporary() const {
  if (Mode == TMode::Replace && !TempName.empty()) unlink(TempName.c_str());
}

TWriteResult TOutputFile::Fail(TWriteStage stage, int error) {
  Abandon();
  return {stage, error};
}

TWriteResult TOutputFile::Open(const std::string& fileName) {
  Abandon();
  if (const auto fd = ResolveName(fileName).Descriptor) return OpenStream(*fd, true);
  const std::string target = FinalPath(fileName);
  struct stat original {};
  const bool exists = stat(target.c_str(), &original) == 0;
  if (exists && S_ISDIR(original.st_mode)) return Fail(TWriteStage::Create, EISDIR);
  if (exists && !S_ISREG(original.st_mode)) {
    // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO) instead of
    // hanging; it is cleared again for the writes.
    int fd = -1;
    do {
      fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail(TWriteStage::Create, errno);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return OpenStream(fd, false);
  }
  Target = target;
  KeepOwner = exists;
  OwnerId = original.st_uid;
  GroupId = original.st_gid;
  ModeBits = original.st_mode & 07777;
  OldSize = exists ? static_cast<std::int64_t>(original.st_size) : 0;
  return OpenReplacement(target, exists);
}

TWriteResult TOutputFile::OpenGrowing(const std::string& fileName) {
  Abandon();
  if (const auto fd = ResolveName(fileName).Descriptor) return OpenStream(*fd, true);
  struct stat original {};
  if (stat(fileName.c_str(), &original) == 0 && !S_ISREG(original.st_mode)) return Open(fileName);
  // Emptied by the first write, not now: a run refused before it starts
  // leaves the file as it was, and one it made goes again.
  bool made = true;
  int fd = OpenForWriting(fileName, O_CREAT | O_EXCL);
  if (fd < 0 && errno == EEXIST) {
    made = false;
    fd = OpenForWriting(fileName, 0);
    // A link to a file not there yet.
    if (fd < 0 && errno == ENOENT) fd = OpenForWriting(fileName, O_CREAT);
  }
  if (fd < 0) return Fail(TWriteStage::Create, errno);
  if (const TWriteResult opened = OpenStream(fd, false); !opened) return opened;
  EmptyFirst = !made;
  if (made) MadeName = fileName;
  return {};
}

TWriteResult TOutputFile::OpenStream(int fd, bool duplicate) {
  // A duplicate shares the descriptor's file position and append mode. One
  // open for reading only is refused now, not after the run.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
    if (!duplicate) close(fd);
    return Fail(TWriteStage::Create, flags < 0 ? errno : EBADF);
  }
  Fd = duplicate ? fcntl(fd, F_DUPFD_CLOEXEC, 3) : fd;
  if (Fd < 0) return Fail(TWriteStage::Create, errno);
  Mode = TMode::Stream;
  return {};
}

TWriteResult TOutputFile::OpenReplacement(const std::string& target, bool exists) {
  // An unnamed file gets its name through /proc at the end; without /proc
  // it could never be put in place.
  if (access("/proc/self/fd", X_OK) == 0)
    Fd = open(DirectoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (Fd < 0) Fd = CreateTemporaryBeside(target, TempName);
  if (Fd >= 0) {
    Mode = TMode::Replace;
    return {};
  }
  const int error = errno;
  const bool directoryRefuses = error == EACCES || error == EPERM;
  if (!exists || !directoryRefuses) return Fail(TWriteStage::Create, error);
  do {
    Fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  } while (Fd < 0 && errno == EINTR);
  if (Fd < 0) return Fail(TWriteStage::Create, errno);
  Mode = TMode::InPlace;
  return {};
}

TWriteResult TOutputFile::Append(std::string_view bytes) {
  if (Mode == TMode::Closed) return {TWriteStage::Write, EBADF};
  if (Mode == TMode::InPlace) {
    Pending.append(bytes);
    return {};
  }
  if (EmptyFirst && ftruncate(Fd, 0) != 0) return Fail(TWriteStage::Write, errno);
  EmptyFirst = false;
  MadeName.clear();
  if (const int error = WriteAll(Fd, bytes)) return Fail(TWriteStage::Write, error);
  return {};
}

TWriteResult TOutputFile::Commit() {
  TWriteResult result;
  if (Mode == TMode::Closed) return {TWriteStage::Write, EBADF};
  // A growing file committed empty is emptied and kept.
  if (Mode == TMode::Stream) result = Append({});
  if (Mode == TMode::Replace) result = CommitReplacement();
  if (Mode == TMode::InPlace) result = CommitInPlace();
  if (!result) return result;
  // close() may report a write the kernel deferred (NFS, FUSE): that is a
  // failed write like any other.
  const int fd = Fd;
  Fd = -1;
  if (close(fd) != 0 && errno != EINTR) return Fail(TWriteStage::Write, errno);
  if (Mode == TMode::Replace && std::rename(TempName.c_str(), Target.c_str()) != 0)
    return Fail(TWriteStage::Create, errno);
  TempName.clear();
  Mode = TMode::Closed;
  return {};
}

TWriteResult TOutputFile::CommitReplacement() {
  // Root rewriting a user's log must not make it root's. The owner goes
  // first: a change of owner clears the set-id bits the mode then restores.
  // Only root may give a file away, and some file systems keep no owners:
  // there the new file stays the writer's, as any new file would.
  if (KeepOwner) {
    if (fchown(Fd, OwnerId, GroupId) != 0) {}
    if (fchmod(Fd, ModeBits) != 0) return Fail(TWriteStage::Create, errno);
  }
  // On the disk before the rename: after a crash the name holds either the
  // old file or the whole new one.
  if (fdatasync(Fd) != 0) return Fail(TWriteStage::Write, errno);
  if (TempName.empty()) {
    if (const int error = LinkBeside(Fd, Target, TempName)) return Fail(TWriteStage::Create, error);
  }
  return {};
}

TWriteResult TOutputFile::CommitInPlace() {
  // The space first: once the old content is overwritten there is no way
  // back, so a disk that cannot hold the new content must say so before.
  const auto newSize = static_cast<std::int64_t>(Pending.size());
  if (const int error = posix_fallocate(Fd, 0, std::max(OldSize, newSize))) {
    // Where the file system cannot reserve, glibc writes the blocks; what
    // it added beyond the old end goes again.
    if (ftruncate(Fd, OldSize) != 0) {}
    return Fail(TWriteStage::Write, error);
  }
  if (lseek(Fd, 0, SEEK_SET) != 0) return Fail(TWriteStage::Write, errno);
  if (const int error = WriteAll(Fd, Pending)) return Fail(TWriteStage::Write, error);
  if (ftruncate(Fd, newSize) != 0 || fdatasync(Fd) != 0) return Fail(TWriteStage::Write, errno);
  Pending.clear();
  return {};
}

void TOutputFile::Abandon() {
  if (Fd >= 0) close(Fd);
  Fd = -1;
  if (!MadeName.empty()) unlink(MadeName.c_str());
  MadeName.clear();
  EmptyFirst = false;
  if (!TempName.empty()) unlink(TempName.c_str());
  TempName.clear();
  Pending.clear();
  Mode = TMode::Closed;
}

}  // namespace Platform
