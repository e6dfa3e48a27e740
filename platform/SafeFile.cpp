#include "SafeFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

namespace Platform {

namespace {

TWriteResult Failure(TWriteStage stage, int error) { return {stage, error}; }

int WriteProduced(int fd, const TContentProducer& produce) {
  std::string piece;
  while (produce(piece)) {
    if (const int error = WriteAll(fd, piece)) return error;
  }
  return 0;
}

// close() may report a write the kernel deferred (NFS, FUSE): that is a
// failed write like any other.
TWriteResult CloseAfterWrite(int fd, TWriteResult result) {
  const int closed = close(fd);
  if (result && closed != 0 && errno != EINTR) return Failure(TWriteStage::Write, errno);
  return result;
}

// The path the content is to end up at: a symbolic link's target, so that
// the rename replaces the file and not the link.
std::string FinalPath(const std::string& fileName) {
  struct stat link {};
  if (lstat(fileName.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return fileName;
  const std::unique_ptr<char, decltype(&free)> resolved(realpath(fileName.c_str(), nullptr), &free);
  return resolved ? std::string(resolved.get()) : fileName;
}

// For what cannot be replaced: a device, a FIFO, or a file whose directory
// refuses new entries. O_NONBLOCK keeps a FIFO without a reader from
// hanging the window; it is cleared again for the writes.
TWriteResult WriteInPlace(const std::string& fileName, const TContentProducer& produce) {
  int fd = -1;
  do {
    fd = open(fileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Failure(TWriteStage::Create, errno);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const int error = WriteProduced(fd, produce);
  return CloseAfterWrite(fd, error ? Failure(TWriteStage::Write, error) : TWriteResult{});
}

TWriteResult WriteTemporary(int fd, const TContentProducer& produce, const struct stat* original) {
  if (const int error = WriteProduced(fd, produce)) return Failure(TWriteStage::Write, error);
  if (original && fchmod(fd, original->st_mode & 07777) != 0)
    return Failure(TWriteStage::Create, errno);
  // On the disk before the rename: after a crash the name holds either the
  // old file or the whole new one.
  if (fdatasync(fd) != 0) return Failure(TWriteStage::Write, errno);
  return {};
}

}  // namespace

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return ENOSPC;
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return 0;
}

int CreateTemporaryBeside(const std::string& fileName, std::string& tempName) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = fileName.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = directory + ".korvane-" + std::to_string(getpid()) + "-" +
               std::to_string(counter++) + ".tmp";
    const int fd = open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

TWriteResult ReplaceFileContent(const std::string& fileName, std::string_view content) {
  bool given = false;
  return ReplaceFileContent(fileName, [&](std::string& piece) {
    if (given) return false;
    piece.assign(content);
    return given = true;
  });
}

TWriteResult ReplaceFileContent(const std::string& fileName, const TContentProducer& produce) {
  const std::string target = FinalPath(fileName);
  struct stat original {};
  const bool exists = stat(target.c_str(), &original) == 0;
  if (exists && S_ISDIR(original.st_mode)) return Failure(TWriteStage::Create, EISDIR);
  if (exists && !S_ISREG(original.st_mode)) return WriteInPlace(target, produce);

  std::string tempName;
  const int fd = CreateTemporaryBeside(target, tempName);
  if (fd < 0) {
    const int error = errno;
    const bool dirRefuses = error == EACCES || error == EPERM;
    if (exists && dirRefuses && access(target.c_str(), W_OK) == 0) return WriteInPlace(target, produce);
    return Failure(TWriteStage::Create, error);
  }
  TWriteResult result = CloseAfterWrite(fd, WriteTemporary(fd, produce, exists ? &original : nullptr));
  if (result && std::rename(tempName.c_str(), target.c_str()) != 0)
    result = Failure(TWriteStage::Create, errno);
  if (!result) unlink(tempName.c_str());
  return result;
}

TReplacingFile::~TReplacingFile() {
  if (Fd < 0) return;
  close(Fd);
  if (!TempName.empty()) unlink(TempName.c_str());
}

TWriteResult TReplacingFile::Create(const std::string& fileName) {
  Target = FinalPath(fileName);
  struct stat original {};
  HadOriginal = stat(Target.c_str(), &original) == 0;
  OriginalMode = original.st_mode & 07777;
  if (HadOriginal && S_ISDIR(original.st_mode)) return Failure(TWriteStage::Create, EISDIR);
  const bool replaceable = !HadOriginal || S_ISREG(original.st_mode);
  if (replaceable) Fd = CreateTemporaryBeside(Target, TempName);
  if (Fd < 0) {
    const int error = errno;
    const bool dirRefuses = error == EACCES || error == EPERM;
    TempName.clear();
    if (replaceable && !(HadOriginal && dirRefuses && access(Target.c_str(), W_OK) == 0))
      return Failure(TWriteStage::Create, error);
    do {
      Fd = open(Target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (Fd < 0 && errno == EINTR);
    if (Fd < 0) return Failure(TWriteStage::Create, errno);
    fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
  }
  return {};
}

void TReplacingFile::Abandon() const {
  if (!TempName.empty()) unlink(TempName.c_str());
}

TWriteResult TReplacingFile::Write(std::string_view data) {
  const int error = WriteAll(Fd, data);
  return error ? Failure(TWriteStage::Write, error) : TWriteResult{};
}

TWriteResult TReplacingFile::Commit() {
  TWriteResult result;
  if (!TempName.empty()) {
    if (HadOriginal && fchmod(Fd, OriginalMode) != 0) result = Failure(TWriteStage::Create, errno);
    if (result && fdatasync(Fd) != 0) result = Failure(TWriteStage::Write, errno);
  }
  result = CloseAfterWrite(std::exchange(Fd, -1), result);
  if (!TempName.empty() && result && std::rename(TempName.c_str(), Target.c_str()) != 0)
    result = Failure(TWriteStage::Create, errno);
  if (!result && !TempName.empty()) unlink(TempName.c_str());
  return result;
}

}  // namespace Platform
