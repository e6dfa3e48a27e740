#pragma once
// A million files of 100 bytes in 1,000 directories, the shape of a large
// backup on a NAS, made on tmpfs for the memory benchmarks and removed by
// the caller.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace MillionTree {

constexpr int Directories = 1000;
constexpr int FilesPerDirectory = 1000;
constexpr long Files = long{Directories} * FilesPerDirectory;

inline std::string Make(const std::string& scratch) {
  const std::string root = scratch + "/korvane-bench-million";
  if (access((root + "/done").c_str(), F_OK) == 0) return root;
  static const std::string data(100, 'm');
  mkdir(root.c_str(), 0755);
  for (int d = 0; d < Directories; ++d) {
    const std::string dir = root + "/d" + std::to_string(d);
    mkdir(dir.c_str(), 0755);
    for (int f = 0; f < FilesPerDirectory; ++f) {
      const int fd = open((dir + "/file" + std::to_string(f) + ".dat").c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || write(fd, data.data(), data.size()) < 0) std::abort();
      close(fd);
    }
  }
  close(open((root + "/done").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  return root;
}

}  // namespace MillionTree
