#include "SpillFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "SafeFile.h"

namespace Platform {

namespace {

std::string TemporaryDirectory() {
  const char* dir = getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

}  // namespace

TSpillFile::TSpillFile() {
  const std::string dir = TemporaryDirectory();
  Fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (Fd >= 0) return;
  // File systems without O_TMPFILE: a named file, unlinked at once.
  std::string name = dir + "/korvane-XXXXXX";
  Fd = mkostemp(name.data(), O_CLOEXEC);
  if (Fd >= 0) unlink(name.c_str());
}

TSpillFile::~TSpillFile() {
  if (Fd >= 0) close(Fd);
}

int TSpillFile::Write(std::string_view data) { return WriteAll(Fd, data); }

int TSpillFile::ReadBack(std::int64_t length,
                         const std::function<void(std::string_view piece)>& take) {
  std::vector<char> buffer(std::size_t{1} << 20);
  for (off_t at = 0; at < length;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length - at, static_cast<std::int64_t>(buffer.size())));
    const ssize_t got = pread(Fd, buffer.data(), want, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    take({buffer.data(), static_cast<std::size_t>(got)});
    at += got;
  }
  return 0;
}

}  // namespace Platform
