// korvane-cli reading from the medium: the system's caches are dropped
// before every timed run, and the standard tools read the same data just
// as cold. The tree of 20,000 small files against eight cats at a time
// (xargs -P8) and against one cat after another (find -exec cat), also
// with the default read unit; one 1 GiB file against dd. The commands
// of a comparison take turns, and each figure is the median over rounds.
// Usage: korvane_bench_cold [scratch-dir [rounds]]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BenchTree.h"
#include "BenchUtil.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;

double ColdSeconds(const std::string& command) {
  if (!DropCaches()) std::abort();
  return SecondsOf([&] { Shell(command + " > /dev/null 2>&1"); });
}

// Runs the commands in turn, rounds times, starting each round with the
// next one so that none always follows the same; the median of each.
std::vector<double> Medians(const std::vector<std::string>& commands, int rounds) {
  std::vector<std::vector<double>> seconds(commands.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const std::size_t which = (i + static_cast<std::size_t>(round)) % commands.size();
      seconds[which].push_back(ColdSeconds(commands[which]));
    }
  }
  std::vector<double> medians;
  for (const auto& times : seconds) medians.push_back(Median(times));
  return medians;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

bool CompareTree(const std::string& root, int rounds) {
  const std::string items = Quoted(root + "/*.*");
  const auto m = Medians({Quoted(Cli) + " --quiet -S -A -P- " + items,
                          "find " + Quoted(root) + " -type f -print0 | xargs -0 -P8 -n200 cat",
                          "find " + Quoted(root) + " -type f -exec cat {} +",
                          Quoted(Cli) + " --quiet -S -A -P1024 " + items},
                         rounds);
  bool ok =
      ReportRatio("cold: korvane-cli -S -A -P- 20,000 files vs xargs -P8 cat", m[0], m[1], 1.0);
  ok &= ReportRatio("cold: korvane-cli -S -A -P- 20,000 files vs find -exec cat", m[0], m[2], 0.5);
  std::printf("%-58s %8.3f s vs %8.3f s  ratio %.3f\n", "cold: the same with -P1024 vs -P-", m[3],
              m[0], m[3] / m[0]);
  return ok;
}

bool CompareFile(const std::string& file, int rounds) {
  const auto m = Medians({Quoted(Cli) + " --quiet -P- " + Quoted(file),
                          "dd if=" + Quoted(file) + " bs=1M of=/dev/null status=none"},
                         rounds);
  return ReportRatio("cold: korvane-cli -P- 1 GiB vs dd bs=1M", m[0], m[1], 1.05);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  if (!DropCaches()) {
    std::printf("cold-cache benchmark skipped: dropping the system's caches needs root\n");
    return 0;
  }
  const std::string root = BenchTree::Root(scratch);
  const std::string file = BigFile(scratch);
  std::printf("medians over %d rounds, caches dropped before every run\n", rounds);
  bool ok = CompareTree(root, rounds);
  ok &= CompareFile(file, rounds);
  return ok ? 0 : 1;
}
