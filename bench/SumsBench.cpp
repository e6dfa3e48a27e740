// korvane-cli checking a tree against its SHA256SUMS: 2,000 files, 1 GiB.
// From the page cache against coreutils' sha256sum -c and against the same
// run without the checksum file (the hashing is the only added work); from
// the medium, caches dropped before each run, with against without (the
// medium is the limit there).
// Usage: korvane_bench_sums [scratch-dir [cold rounds]]
#include <sys/stat.h>

#include <string>

#include "BenchUtil.h"
#include "ColdRuns.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;
constexpr int Files = 2000;
constexpr std::size_t FileSize = (std::size_t{1} << 30) / Files;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The tree and its SHA256SUMS under scratch, made on first use: 20
// directories of 100 files, each of one 1/2000 of a GiB of random bytes.
std::string SumsTree(const std::string& scratch) {
  const std::string root = scratch + "/korvane-bench-sums";
  if (access((root + "/SHA256SUMS").c_str(), F_OK) == 0) return root;
  mkdir(root.c_str(), 0755);
  const std::string block = root + "/.block";
  Shell("head -c " + std::to_string(FileSize) + " /dev/urandom > " + Quoted(block));
  for (int d = 0; d < Files / 100; ++d) {
    const std::string dir = root + "/d" + std::to_string(d);
    mkdir(dir.c_str(), 0755);
    // Each file differs from the others in its first bytes.
    Shell("cd " + Quoted(dir) + " && for f in $(seq 0 99); do { printf '%s' \"$f\"; cat " +
          Quoted(block) + "; } > f$f.dat; done");
  }
  Shell("rm " + Quoted(block));
  Shell("cd " + Quoted(root) + " && find d* -type f -print0 | xargs -0 sha256sum > SHA256SUMS");
  return root;
}

bool CompareCached(const std::string& root) {
  const std::string check = Quoted(Cli) +
                            " --quiet --cached -P- --check-sums=" + Quoted(root + "/SHA256SUMS") +
                            " > /dev/null 2>&1";
  const std::string plain =
      Quoted(Cli) + " --quiet --cached -S -A -P- " + Quoted(root + "/*") + " > /dev/null 2>&1";
  const std::string coreutils = "cd " + Quoted(root) + " && sha256sum --quiet -c SHA256SUMS";
  Shell(plain);  // into the page cache
  const auto [ours, theirs] = BestOf(
      3, [&] { Shell(check); }, [&] { Shell(coreutils); });
  bool ok =
      ReportRatio("cached: --check-sums 2,000 files 1 GiB vs sha256sum -c", ours, theirs, 0.3);
  const auto [withSums, without] = BestOf(
      3, [&] { Shell(check); }, [&] { Shell(plain); });
  ok &= ReportRatio("cached: --check-sums vs the same run without", withSums, without, 1.6);
  return ok;
}

bool CompareCold(const std::string& root, int rounds) {
  if (!DropCaches()) {
    std::printf("cold-cache part skipped: dropping the system's caches needs root\n");
    return true;
  }
  const auto m = Medians({Quoted(Cli) + " --quiet -P- --check-sums=" + Quoted(root + "/SHA256SUMS"),
                          Quoted(Cli) + " --quiet -S -A -P- " + Quoted(root + "/*")},
                         rounds);
  return ReportRatio("cold: --check-sums vs the same run without", m[0], m[1], 1.05);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string root = SumsTree(scratch);
  bool ok = CompareCached(root);
  ok &= CompareCold(root, rounds);
  return ok ? 0 : 1;
}
