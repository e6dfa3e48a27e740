#include "Mounts.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace Platform {

namespace {

// The table writes a space, tab, newline or backslash in a name as \ and
// three octal digits.
std::string Unescaped(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const std::string digits = field.substr(i + 1, 3);
    if (field[i] == '\\' && digits.size() == 3 &&
        digits.find_first_not_of("01234567") == std::string::npos) {
      text.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
      i += 3;
    } else {
      text.push_back(field[i]);
    }
  }
  return text;
}

bool Holds(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/") return true;
  return path.starts_with(mountPoint) &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// /proc/self/mountinfo: "36 35 98:0 /root /mnt rw,noatime - ext3 /dev/sda1 rw".
// The mount of where is the one with the longest mount point above it, of
// device when one is given: a bind mount shows the same device at several
// places.
TMountInfo MountAbove(const std::string& where, const std::string& device) {
  std::ifstream table("/proc/self/mountinfo");
  TMountInfo best;
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, mountPoint, word;
    fields >> id >> parent >> numbers >> root >> mountPoint;
    while (fields >> word && word != "-") {}
    TMountInfo found{Unescaped(mountPoint), "", ""};
    fields >> found.FsType >> found.Source;
    found.Source = Unescaped(found.Source);
    if ((!device.empty() && numbers != device) || !Holds(found.MountPoint, where)) continue;
    if (found.MountPoint.size() >= best.MountPoint.size()) best = found;
  }
  return best;
}

}  // namespace

TMountInfo MountOf(const std::string& path) {
  struct stat info {};
  const std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  if (!real || stat(real.get(), &info) != 0) return {};
  return MountAbove(real.get(), std::to_string(major(info.st_dev)) + ":" +
                                    std::to_string(minor(info.st_dev)));
}

TMountInfo MountByName(const std::string& path) {
  std::string where = path;
  if (!where.starts_with('/')) {
    const std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    where = std::string(cwd ? cwd.get() : "") + "/" + where;
  }
  return MountAbove(where, "");
}

std::uint64_t DeviceOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

}  // namespace Platform
