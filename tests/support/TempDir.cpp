#include "TempDir.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string ErrorName(int code) {
  const char* name = strerrorname_np(code);
  return name != nullptr ? name : "errno " + std::to_string(code);
}

// Tests make directories unreadable on purpose; without owner access again
// remove_all cannot look inside them (root can, everybody else cannot).
// Symbolic links are neither followed nor changed.
void RestoreOwnerAccess(const fs::path& dir) {
  std::error_code ignored;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (fs::directory_iterator it(dir, ignored), end; it != end; it.increment(ignored)) {
    if (it->symlink_status(ignored).type() == fs::file_type::directory) RestoreOwnerAccess(it->path());
  }
}

}  // namespace

TTempDir::TTempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
  pattern += "/korvane-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    const int error = errno;
    ADD_FAILURE() << "cannot create a temporary directory from " << pattern << ": " << ErrorName(error);
    return;
  }
  // Canonical, so that paths the program reports back compare equal.
  std::error_code error;
  const fs::path canonical = fs::canonical(pattern, error);
  Root = error ? pattern : canonical.string();
}

TTempDir::~TTempDir() {
  if (Root.empty()) return;
  RestoreOwnerAccess(Root);
  std::error_code error;
  fs::remove_all(Root, error);
}

const std::string& TTempDir::Path() const { return Root; }

std::string TTempDir::PathOf(const std::string& relative) const { return Root + "/" + relative; }

bool TTempDir::WriteFile(const std::string& relative, const std::string& content) {
  const std::string path = PathOf(relative);
  std::error_code dirError;
  fs::create_directories(fs::path(path).parent_path(), dirError);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int error = fd < 0 ? errno : 0;
  for (std::size_t done = 0; error == 0 && done < content.size();) {
    const ssize_t written = write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno != EINTR) error = errno;
    if (written > 0) done += static_cast<std::size_t>(written);
  }
  if (fd >= 0 && close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ADD_FAILURE() << "cannot write " << path << ": " << ErrorName(error);
  return error == 0;
}

bool TTempDir::MakeDir(const std::string& relative) {
  std::error_code error;
  fs::create_directories(PathOf(relative), error);
  if (error) ADD_FAILURE() << "cannot create directory " << PathOf(relative) << ": " << ErrorName(error.value());
  return !error;
}
