#pragma once
// Which mounted file system a path lies on, as the system's mount table
// says, for reports that must say what was checked.
#include <cstdint>
#include <string>

namespace Platform {

struct TMountInfo {
  std::string MountPoint;
  std::string FsType;
  std::string Source;  // the device or the network share
};

// The mount that holds path (a directory or a file); empty fields when
// path cannot be examined or the table cannot be read.
TMountInfo MountOf(const std::string& path);
// The same by the path's text alone, for a path on a file system that can
// no longer be examined (its drive gone): the mount with the longest mount
// point above it.
TMountInfo MountByName(const std::string& path);

// What tells one file system from another whatever device number it is
// given when mounted: its UUID, and the serial number of the drive that
// holds it where the system names one. Both empty for a file system
// without (tmpfs, a network share) and when they cannot be read.
struct TFileSystemId {
  std::string Uuid;
  std::string Serial;
  bool Known() const { return !Uuid.empty() || !Serial.empty(); }
  bool operator==(const TFileSystemId&) const = default;
};
// Of the file system mounted from device (a st_dev).
TFileSystemId FileSystemIdOf(std::uint64_t device);

}  // namespace Platform
