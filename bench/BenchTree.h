#pragma once
// The benchmark tree: 20,000 small files (0..16 KiB) in 400 directories,
// 20 top directories of 20 subdirectories each, made once under a scratch
// directory and reused by every benchmark that walks a tree.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

namespace BenchTree {

constexpr int Directories = 400;
constexpr int FilesPerDirectory = 50;
constexpr int Files = Directories * FilesPerDirectory;

inline void WriteFile(const std::string& path, std::size_t size) {
  static const std::string data(16384, 'd');
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, data.data(), size) < 0) std::abort();
  close(fd);
}

inline void MakeTree(const std::string& root) {
  std::mt19937 random(7);
  mkdir(root.c_str(), 0755);
  for (int d = 0; d < Directories; ++d) {
    const std::string top = root + "/t" + std::to_string(d / 20);
    const std::string dir = top + "/s" + std::to_string(d % 20);
    mkdir(top.c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    for (int f = 0; f < FilesPerDirectory; ++f)
      WriteFile(dir + "/f" + std::to_string(f) + ".dat", random() % 16385);
  }
}

// The tree's root under scratch, made on first use.
inline std::string Root(const std::string& scratch) {
  const std::string root = scratch + "/korvane-bench-tree";
  if (access(root.c_str(), F_OK) != 0) MakeTree(root);
  return root;
}

}  // namespace BenchTree
