#include "SafeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "OutputFile.h"

namespace Platform {

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

int CheckReplaceable(const std::string& fileName) {
  const std::string target = FinalPath(fileName);
  std::string tempName;
  const int fd = CreateTemporaryBeside(target, tempName);
  if (fd < 0) {
    const int error = errno;
    return access(target.c_str(), W_OK) == 0 ? 0 : error;
  }
  close(fd);
  unlink(tempName.c_str());
  return 0;
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
  TOutputFile file;
  if (TWriteResult opened = file.Open(fileName); !opened) return opened;
  std::string piece;
  while (produce(piece)) {
    if (TWriteResult appended = file.Append(piece); !appended) return appended;
  }
  return file.Commit();
}

}  // namespace Platform
