#include "Mounts.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <blkid/blkid.h>

#include <filesystem>
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

std::string FirstLineOf(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The device's own directory under /sys/devices; empty when device is no
// block device (tmpfs, a network share).
std::filesystem::path BlockDirectoryOf(std::uint64_t device) {
  std::error_code error;
  const std::filesystem::path link = "/sys/dev/block/" + std::to_string(major(device)) + ":" +
                                     std::to_string(minor(device));
  std::filesystem::path directory = std::filesystem::canonical(link, error);
  return error ? std::filesystem::path() : directory;
}

// The nearest "serial" above the block device: the disk's own (virtio,
// NVMe), or the USB device's for a stick or a card reader.
std::string SerialAbove(std::filesystem::path directory) {
  for (; directory.has_relative_path() && directory != "/sys/devices";
       directory = directory.parent_path()) {
    std::error_code error;
    if (std::filesystem::is_regular_file(directory / "serial", error))
      return FirstLineOf(directory / "serial");
    if (std::filesystem::is_regular_file(directory / "device" / "serial", error))
      return FirstLineOf(directory / "device" / "serial");
  }
  return {};
}

// Where the device node cannot be read (a user's run), the names udev gives
// the file systems it has seen.
std::string UuidByName(std::uint64_t device) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/disk/by-uuid", error)) {
    struct stat info {};
    if (stat(entry.path().c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == device)
      return entry.path().filename();
  }
  return {};
}

// The superblock's UUID, read from the device node (root, or the disk group).
std::string UuidOf(const std::filesystem::path& blockDirectory) {
  std::string name;
  std::ifstream uevent(blockDirectory / "uevent");
  for (std::string line; std::getline(uevent, line);)
    if (line.starts_with("DEVNAME=")) name = "/dev/" + line.substr(8);
  if (name.empty()) return {};
  const blkid_probe probe = blkid_new_probe_from_filename(name.c_str());
  if (probe == nullptr) return {};
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_UUID);
  std::string uuid;
  const char* value = nullptr;
  if (blkid_do_safeprobe(probe) == 0 && blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0)
    uuid = value;
  blkid_free_probe(probe);
  return uuid;
}

}  // namespace

TFileSystemId FileSystemIdOf(std::uint64_t device) {
  const std::filesystem::path directory = BlockDirectoryOf(device);
  if (directory.empty()) return {};
  std::string uuid = UuidOf(directory);
  if (uuid.empty()) uuid = UuidByName(device);
  return {std::move(uuid), SerialAbove(directory)};
}

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

}  // namespace Platform
