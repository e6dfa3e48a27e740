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

// The device number of the file system path lies on; 0 when path cannot
// be examined.
std::uint64_t DeviceOf(const std::string& path);

}  // namespace Platform
