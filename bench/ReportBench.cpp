// korvane-cli --report on the tree of 20,000 files in the page cache,
// against the same run without it: the report may cost at most 3%. The two
// take turns; each figure is the best of rounds.
// Usage: korvane_bench_report [scratch-dir [rounds]]
#include <string>

#include "BenchTree.h"
#include "BenchUtil.h"

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  const std::string root = BenchTree::Root(scratch);
  const std::string report = scratch + "/korvane-bench-report.jsonl";
  const std::vector<std::string> run = {KORVANE_CLI_PATH, "--quiet", "--cached", "-S", "-A", "-P-",
                                        root + "/*.*"};
  std::vector<std::string> reported = run;
  reported.insert(reported.begin() + 1, "--report=" + report);
  RunQuietly(run);  // into the page cache
  const auto [seconds, baseline] =
      BestOf(rounds, [&] { RunQuietly(reported); }, [&] { RunQuietly(run); });
  unlink(report.c_str());
  return ReportRatio("korvane-cli --report 20,000 files vs without", seconds, baseline, 1.03) ? 0
                                                                                           : 1;
}
