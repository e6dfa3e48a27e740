// korvane-cli's peak memory where a run is large in one direction, each
// against a run over nothing in the same invocation:
// - one file at the bottom of a tree 4,000 directories deep;
// - --resume with a state of 632,000 records;
// - --make-sums over 1,200,000 files;
// - --check-sums of a checksum file of 1,000,000 lines.
// The trees hold empty files (their pages would cost tmpfs gigabytes) and
// are removed at the end.
// Usage: korvane_bench_memory [tmpfs-dir (default /dev/shm) [scale (default 1)]]
//   scale 0.1 runs every case at a tenth of its size, for a quick look.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchUtil.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;
constexpr int FilesPerDirectory = 1000;

long Peak(const std::vector<std::string>& arguments) { return PeakKib(Cli, arguments); }

double Mib(long kib) { return static_cast<double>(kib) / 1024; }

bool Report(const std::string& what, long peakKib, long nothingKib, long limitMib) {
  const bool fits = peakKib <= limitMib * 1024;
  std::printf("%-52s %7.1f MiB (nothing: %.1f MiB, ratio %.1f) limit %ld MiB %s\n", what.c_str(),
              Mib(peakKib), Mib(nothingKib), Mib(peakKib) / Mib(nothingKib), limitMib, fits ? "ok" : "OVER");
  return fits;
}

// directories of FilesPerDirectory empty files under root.
void MakeFlatTree(const std::string& root, long directories) {
  std::filesystem::create_directories(root);
  for (long d = 0; d < directories; ++d) {
    const std::string dir = root + "/d" + std::to_string(d);
    mkdir(dir.c_str(), 0755);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int f = 0; f < FilesPerDirectory; ++f) {
      const std::string name = "file" + std::to_string(f) + ".dat";
      close(openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
    close(dirFd);
  }
}

// depth directories, one in the other, with one file at the bottom; made
// relative to each level, as no path that long can be handed to the system.
void MakeDeepTree(const std::string& root, long depth) {
  std::filesystem::create_directories(root);
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const std::string name = "a-directory-of-a-deep-tree";
  for (long level = 0; level < depth; ++level) {
    mkdirat(fd, name.c_str(), 0755);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  close(openat(fd, "bottom.dat", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  close(fd);
}

long Scaled(long count, double scale) {
  return std::max(1L, std::lround(static_cast<double>(count) * scale));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/dev/shm";
  const double scale = argc > 2 ? std::stod(argv[2]) : 1.0;
  const std::string root = scratch + "/korvane-bench-memory";
  std::filesystem::remove_all(root);
  const long nothing = Peak({"--cached", "-S", "-P-", root + "/nothing-*.none"});
  bool ok = true;

  const long depth = Scaled(4000, scale);
  MakeDeepTree(root + "/deep", depth);
  ok &= Report("one file at depth " + std::to_string(depth),
               Peak({"--cached", "-S", "-P-", root + "/deep/*.*"}), nothing, 40);
  std::filesystem::remove_all(root + "/deep");

  // The state of a run that could not reach its second item is kept.
  const long resumeDirectories = Scaled(632, scale);
  MakeFlatTree(root + "/resume", resumeDirectories);
  const std::vector<std::string> resume = {"--cached", "-S", "-P-", "--resume=" + root + "/state",
                                           root + "/resume/*.*", root + "/unplugged/*.*"};
  const long first = Peak(resume);
  ok &= Report("--resume, state of " + std::to_string(resumeDirectories * FilesPerDirectory) + " records",
               Peak(resume), nothing, 60);
  std::printf("%-52s %7.1f MiB\n", "  (the run that wrote the state)", Mib(first));
  std::filesystem::remove_all(root + "/resume");
  std::filesystem::remove(root + "/state");

  // Files in two trees, a million in the first: the manifest made of both
  // gives the first its own, which lists every file in it.
  const long checked = Scaled(1000, scale), other = Scaled(200, scale);
  MakeFlatTree(root + "/sums/checked", checked);
  MakeFlatTree(root + "/sums/other", other);
  const std::string made = root + "/sums/MADE.sha256";
  ok &= Report("--make-sums over " + std::to_string((checked + other) * FilesPerDirectory) + " files",
               Peak({"--cached", "-S", "-P-", "--make-sums=" + made, root + "/sums/*.*"}), nothing, 40);
  const std::string sums = root + "/sums/checked/SHA256SUMS";
  Shell("sed -n 's|  checked/|  |p' '" + made + "' > '" + sums + "'");
  ok &= Report("--check-sums, " + std::to_string(checked * FilesPerDirectory) + " lines",
               Peak({"--cached", "--check-sums=" + sums}), nothing, 120);
  std::filesystem::remove_all(root);
  return ok ? 0 : 1;
}
