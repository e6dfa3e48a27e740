#include "Process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <clocale>
#include <vector>

#include "Path.h"
#include "SystemError.h"

namespace Platform {

namespace {

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    // A result that fills the buffer may have been cut: try again larger.
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ExecutableDirectory() {
  const std::string path = ExecutablePath();
  // Without /proc the settings still need a home: the working directory.
  if (path.empty()) return ".";
  const std::string directory = DirectoryPart(path);
  // The root keeps no '/', so callers can always append "/" + a name.
  return directory == "/" ? std::string() : directory;
}

void OpenMissingStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: fd itself, as those below it are open by now.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0 || opened == fd) continue;
    dup2(opened, fd);
    close(opened);
  }
}

void InitializeProcess() {
  std::setlocale(LC_ALL, "");
  PrepareSystemErrorTexts();
  // A write to a closed pipe or socket must come back as EPIPE, a value the
  // caller can report, instead of ending the process.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace Platform

namespace Platform {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace Platform
