// The cost of walking in one fixed order. The cold tree of 20,000 files is
// walked and read twice per round, caches dropped before each: once in the
// walk's own order (the platform's directory search, which reads a
// directory's names whole and sorts them), once in the order the file
// system lists them, with the same calls otherwise. The two take turns;
// each figure is the median over rounds.
// Usage: korvane_bench_walk_order [scratch-dir [rounds]]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "BenchTree.h"
#include "BenchUtil.h"
#include "DirSearch.h"
#include "DirectoryChain.h"

namespace {

std::vector<char> Buffer(1 << 20);

void ReadFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) std::abort();
  while (read(fd, Buffer.data(), Buffer.size()) > 0) {}
  close(fd);
}

// Files first, then subdirectories, as the walk goes: a search for the
// files, then one for the subdirectories.
void WalkSorted(const std::string& directory) {
  Platform::TDirectoryChain chain(directory);
  Platform::TSearchEntry entry;
  for (Platform::TDirSearch files(chain, "*.*", 0x27); files.Next(entry);)
    ReadFile(directory + "/" + entry.Name);
  std::vector<std::string> subdirectories;
  Platform::TDirSearch all(chain, "*.*", 0x37, Platform::TDirSearch::OnlyDirectories);
  while (all.Next(entry))
    if (entry.Name != "." && entry.Name != "..") subdirectories.push_back(entry.Name);
  for (const std::string& name : subdirectories) WalkSorted(directory + "/" + name);
}

// The same two listings in readdir's order, names examined as they come.
void WalkListed(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) std::abort();
  while (const dirent* item = readdir(dir)) {
    struct stat info {};
    if (fstatat(dirfd(dir), item->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
      ReadFile(directory + "/" + item->d_name);
  }
  rewinddir(dir);
  std::vector<std::string> subdirectories;
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (item->d_type == DT_DIR && name != "." && name != "..") subdirectories.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : subdirectories) WalkListed(directory + "/" + name);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string root = BenchTree::Root(scratch);
  if (!DropCaches()) {
    std::printf("walk order benchmark skipped: dropping the system's caches needs root\n");
    return 0;
  }
  std::vector<double> sorted, listed;
  for (int i = 0; i < rounds; ++i) {
    DropCaches();
    listed.push_back(SecondsOf([&] { WalkListed(root); }));
    DropCaches();
    sorted.push_back(SecondsOf([&] { WalkSorted(root); }));
  }
  std::printf("medians over %d rounds, caches dropped before every walk\n", rounds);
  return ReportRatio("cold: walk in name order vs in the listed order", Median(sorted),
                     Median(listed), 1.05)
             ? 0
             : 1;
}
