// A tree of 20,000 small files in 400 directories, in the page cache: a
// whole run against `find -type f -exec cat {} +`.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "BenchUtil.h"
#include "VerifierUnit.h"

namespace {

constexpr int Directories = 400;
constexpr int FilesPerDirectory = 50;

void WriteFile(const std::string& path, std::size_t size) {
  static const std::string data(16384, 'd');
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, data.data(), size) < 0) std::abort();
  close(fd);
}

// 20 top directories of 20 subdirectories each; sizes 0..16 KiB.
void MakeTree(const std::string& root) {
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

long MaxRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::size_t LogBytes(const TStringList& log) {
  std::size_t bytes = log.capacity() * sizeof(std::string);
  for (const auto& line : log) bytes += line.capacity() > 15 ? line.capacity() + 1 : 0;
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = std::string(argc > 1 ? argv[1] : "/tmp") + "/korvane-bench-tree";
  if (access(root.c_str(), F_OK) != 0) MakeTree(root);
  const std::string find = "find '" + root + "' -type f -exec cat {} + > /dev/null";
  if (std::system(find.c_str()) != 0) return 2;  // into the page cache

  TVerifyStatus status;
  TVerifySetupInfo setup(root + "-KORVANE.INI");
  setup.PositionError = false;
  setup.AllSubdirectories = true;
  setup.VerifyList = {root + "/*.*"};
  const long rssBefore = MaxRssKib();
  const auto [seconds, baseline] = BestOf(
      3,
      [&] {
        status.Reset();
        TVerifier(status, setup).WaitFor();
      },
      [&] {
        if (std::system(find.c_str()) != 0) std::abort();
      });
  const int files = status.FilesOk;
  const bool ok = ReportRatio("run over 20,000 files vs find -exec cat", seconds, baseline, 1.0);
  std::printf("%-58s %d\n", "  files correct", files);
  std::printf("%-58s %.0f bytes\n", "  log memory per file",
              static_cast<double>(LogBytes(status.Log)) / files);
  std::printf("%-58s %.0f bytes\n", "  peak RSS growth per file",
              static_cast<double>(MaxRssKib() - rssBefore) * 1024 / files);
  return ok && files == Directories * FilesPerDirectory ? 0 : 1;
}
