#include "DeepTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

TDeepTree::TDeepTree(const std::string& root, int levels, std::size_t nameLength) {
  const std::string name(nameLength, 'd');
  Top = root + "/" + name;
  Deepest = root;
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < levels && fd >= 0; ++level) {
    const int next = mkdirat(fd, name.c_str(), 0755) == 0
                         ? openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                         : -1;
    close(fd);
    fd = next;
    const int file = fd < 0 ? -1 : openat(fd, "f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const std::string content(static_cast<std::size_t>(level % 9 + 1), 'x');
    if (file < 0 || write(file, content.data(), content.size()) != std::ssize(content)) {
      ADD_FAILURE() << "cannot build level " << level << " of the deep tree";
    }
    if (file >= 0) close(file);
    TotalBytes += std::ssize(content);
    Deepest += "/" + name;
  }
  if (fd >= 0) close(fd);
  Deepest += "/f.txt";
}

// rm walks relative to descriptors too; remove_all would stop at the
// path length limit and leave the tree behind.
TDeepTree::~TDeepTree() {
  if (std::system(("rm -rf '" + Top + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << Top;
}
