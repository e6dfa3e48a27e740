// A sparse file: 8 TiB long, 1 MiB of data in 16 stretches. Holes hold
// nothing on the medium and are passed over, so korvane-cli must check it
// in under a second, about as fast as a file of just its data (printed as
// the ratio against korvane-cli on a 1 MiB file).
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "BenchUtil.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;
constexpr long long TiB = 1LL << 40;

// Made anew each time, in a directory of its own (an item also looks in
// the directories below its own).
bool MakeSparse(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ftruncate(fd, 8 * TiB) != 0) return false;
  const std::string data(64 * 1024, 'd');
  bool ok = true;
  for (long long i = 0; i < 16; ++i) {
    const off_t at = static_cast<off_t>(i * (TiB / 2) + i * 4096);
    ok = ok && pwrite(fd, data.data(), data.size(), at) == static_cast<ssize_t>(data.size());
  }
  return close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const std::string dir = scratch + "/korvane-bench-holes";
  mkdir(dir.c_str(), 0755);
  const std::string sparse = dir + "/sparse.bin", dense = dir + "/dense.bin";
  if (!MakeSparse(sparse)) {
    std::printf("korvane-cli 8 TiB sparse file: cannot make it under %s, skipped\n", dir.c_str());
    return 0;
  }
  Shell("dd if=/dev/zero of='" + dense + "' bs=1M count=1 status=none");
  const auto [seconds, baseline] = BestOf(
      3, [&] { RunQuietly({Cli, "-S-", sparse}); }, [&] { RunQuietly({Cli, "-S-", dense}); });
  std::printf("%-58s %8.3f s vs %8.3f s  ratio %.3f\n",
              "korvane-cli 8 TiB sparse file vs 1 MiB dense file", seconds, baseline,
              seconds / baseline);
  const bool ok = ReportRatio("korvane-cli 8 TiB sparse file vs 1 s", seconds, 1.0, 1.0);
  unlink(sparse.c_str());
  return ok ? 0 : 1;
}
