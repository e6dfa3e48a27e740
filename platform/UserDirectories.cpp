#include "UserDirectories.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "Path.h"

namespace Platform {

namespace {

bool IsAbsolute(std::string_view path) { return !path.empty() && path.front() == PathDelimiter; }

std::string HomeFromPasswordDatabase() {
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE)
    buffer.resize(buffer.size() * 2);
  return found != nullptr && found->pw_dir != nullptr ? found->pw_dir : std::string();
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && IsAbsolute(home)) return home;
  return HomeFromPasswordDatabase();
}

}  // namespace

std::string ConfigHomeFrom(const char* xdgConfigHome, std::string_view home) {
  if (xdgConfigHome != nullptr && IsAbsolute(xdgConfigHome)) return xdgConfigHome;
  if (!IsAbsolute(home)) return {};
  std::string base(home);
  if (base.back() != PathDelimiter) base += PathDelimiter;
  return base + ".config";
}

std::string UserConfigHome() { return ConfigHomeFrom(std::getenv("XDG_CONFIG_HOME"), HomeDirectory()); }

std::string CanonicalDirectory(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

bool CreateDirectoryPath(const std::string& path) {
  if (path.empty() || IsDirectory(path)) return !path.empty();
  const std::string parent = DirectoryPart(path);
  if (!parent.empty() && parent != path && !CreateDirectoryPath(parent)) return false;
  // Another process may have made it in the meantime: that is success too.
  return mkdir(path.c_str(), S_IRWXU) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace Platform
