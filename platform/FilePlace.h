#pragma once
// What a file name comes to, for outputs that must neither clobber one
// another nor be mistaken for plain files when they name a descriptor.
#include <cstdint>
#include <optional>
#include <string>

namespace Platform {

struct TResolvedName {
  // Absolute, with every symbolic link on the way followed (relative ones
  // too) and "." and ".." taken; parts that do not exist yet are taken by
  // their text.
  std::string Path;
  // The process's descriptor the name stands for, as the shell's
  // /dev/stdout does (also /dev/fd/N, /proc/self/fd/N, and a link to one,
  // or /proc/self/fd/../fd/1).
  std::optional<int> Descriptor;
};
TResolvedName ResolveName(const std::string& fileName);

// Where a name's content lives.
struct TFilePlace {
  bool Exists = false;
  // A regular file, or a pipe or FIFO: what two writers would spoil for
  // each other.
  bool OneWriter = false;
  std::uint64_t Device = 0, Inode = 0;
  std::string Path;  // resolved, for a file not there yet
};
TFilePlace PlaceOf(const std::string& fileName);

// Whether writing one of the two would destroy the other: the same regular
// file (a hard link too) or pipe, or one name for a file not there yet.
// Devices and terminals are streams that several writers may share.
bool SamePlace(const TFilePlace& a, const TFilePlace& b);

}  // namespace Platform
