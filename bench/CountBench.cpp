// The counting walk beside a run must not slow it: the 20,000-file tree
// read from the medium (caches dropped before every run) with the count
// and without it, taking turns; the median of each over the rounds.
// Usage: korvane_bench_count [scratch-dir [rounds]]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BenchTree.h"
#include "BenchUtil.h"
#include "VerifierUnit.h"

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  if (!DropCaches()) {
    std::printf("counting-walk benchmark skipped: dropping the system's caches needs root\n");
    return 0;
  }
  const std::string root = BenchTree::Root(scratch);
  TVerifySetupInfo setup(root + "-KORVANE.INI");
  setup.PositionError = false;
  setup.AllSubdirectories = true;
  setup.VerifyList = {root + "/*.*"};
  std::vector<double> with, without;
  std::int64_t counted = 0;
  for (int round = 0; round < rounds; ++round) {
    for (const bool count : round % 2 == 0 ? std::vector{true, false} : std::vector{false, true}) {
      TVerifyStatus status;
      if (!DropCaches()) return 2;
      const double seconds = SecondsOf([&] { TVerifier(status, setup, {.Count = count}).WaitFor(); });
      (count ? with : without).push_back(seconds);
      if (count) counted = status.CountedFiles;
    }
  }
  std::printf("medians over %d rounds, caches dropped before every run; %lld files counted\n", rounds,
              static_cast<long long>(counted));
  return ReportRatio("cold: 20,000 files with the counting walk vs without", Median(with),
                     Median(without), 1.05)
             ? 0
             : 1;
}
