// korvane-cli --cached, as a user runs it over data already in memory,
// against the standard tools doing the same reads from the page cache: one 1 GiB file in 1 MiB
// and in 1 KiB units, the 512-byte unit against no error position, and the tree of 20,000 small files. Also the peak
// memory of the tree run, per file.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "BenchTree.h"
#include "BenchUtil.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;

std::string MakeFile(const std::string& scratch) {
  const std::string path = BigFile(scratch);
  Shell("cat '" + path + "' > /dev/null");  // into the page cache
  return path;
}

long PeakKib(const std::vector<std::string>& arguments) { return ::PeakKib(Cli, arguments); }

bool CompareFile(const std::string& file, const std::string& unit, const std::string& ddBlock,
                 double limit) {
  const std::string ours = "'" + Cli + "' --cached -P" + unit + " '" + file + "' > /dev/null 2>&1";
  const std::string dd = "dd if='" + file + "' bs=" + ddBlock + " of=/dev/null status=none";
  const auto [seconds, baseline] = BestOf(5, [&] { Shell(ours); }, [&] { Shell(dd); });
  return ReportRatio("korvane-cli --cached -P" + unit + " 1 GiB vs dd bs=" + ddBlock, seconds,
                     baseline, limit);
}

// With the error position on, a sound file is read in large stretches; only
// a failing one is read again in the small unit.
bool CompareSmallUnit(const std::string& file) {
  const auto run = [&](const std::string& unit) {
    return "'" + Cli + "' --cached -P" + unit + " '" + file + "' > /dev/null 2>&1";
  };
  const auto [seconds, baseline] =
      BestOf(5, [&] { Shell(run("512")); }, [&] { Shell(run("-")); });
  return ReportRatio("korvane-cli --cached -P512 1 GiB vs -P-", seconds, baseline, 1.3);
}

bool CompareTree(const std::string& root, const std::string& scratch) {
  const std::string ours = "'" + Cli + "' --cached -S -P- '" + root + "/*.*' > /dev/null 2>&1";
  const std::string find = "find '" + root + "' -type f -exec cat {} + > /dev/null";
  Shell(find);  // into the page cache
  const auto [seconds, baseline] = BestOf(5, [&] { Shell(ours); }, [&] { Shell(find); });
  const bool ok = ReportRatio("korvane-cli --cached -S -P- 20,000 files vs find -exec cat", seconds,
                              baseline, 1.0);
  const long peak = PeakKib({"--cached", "-S", "-P-", root + "/*.*"});
  const long empty = PeakKib({"--cached", "-S", "-P-", scratch + "/korvane-bench-nothing-*.none"});
  std::printf("%-58s %ld KiB (nothing matched: %ld KiB)\n", "  peak memory of the tree run", peak,
              empty);
  std::printf("%-58s %.0f bytes (%.0f above a run over nothing)\n", "  peak memory per file",
              static_cast<double>(peak) * 1024 / BenchTree::Files,
              static_cast<double>(peak - empty) * 1024 / BenchTree::Files);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const std::string file = MakeFile(scratch);
  bool ok = CompareFile(file, "-", "1M", 1.05);
  ok &= CompareFile(file, "1024", "1024", 1.15);
  ok &= CompareSmallUnit(file);
  ok &= CompareTree(BenchTree::Root(scratch), scratch);
  return ok ? 0 : 1;
}
