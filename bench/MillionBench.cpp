// A million files (100 bytes each, 1,000 directories, on tmpfs):
// - peak memory of korvane-cli --cached with the log on standard output and
//   with --log, against a run over nothing;
// - its time against find | xargs cat reading the same files;
// - the window program's log store per file, against the same lines kept
//   one std::string each, as the store replaced.
// Usage: korvane_bench_million [tmpfs-dir (default /dev/shm)] [--keep]
#include <cstring>
#include <filesystem>
#include <fstream>

#include "BenchUtil.h"
#include "MillionTree.h"
#include "LogWriter.h"
#include "SpilledLines.h"
#include "VerifierUnit.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;

long PeakKib(const std::vector<std::string>& arguments) { return ::PeakKib(Cli, arguments); }

bool CliMemory(const std::string& root, const std::string& scratch) {
  const std::string items = root + "/*.*";
  const long empty = PeakKib({"--cached", "-S", "-P-", scratch + "/korvane-bench-nothing-*.none"});
  const long out = PeakKib({"--cached", "-S", "-P-", items});
  const long log = PeakKib({"--cached", "-S", "-P-", "--log=" + scratch + "/korvane-bench-million.log", items});
  std::filesystem::remove(scratch + "/korvane-bench-million.log");
  bool ok = true;
  for (const auto& [what, peak] : {std::pair{"stdout", out}, {"--log", log}}) {
    const bool fits = peak <= 30 * 1024;
    ok &= fits;
    std::printf("%-58s %6ld KiB (nothing: %ld KiB; %.1f bytes/file above it) limit 30 MiB %s\n",
                (std::string("korvane-cli peak RSS, 1,000,000 files, ") + what).c_str(), peak, empty,
                static_cast<double>(peak - empty) * 1024 / MillionTree::Files, fits ? "ok" : "OVER");
  }
  return ok;
}

bool CliTime(const std::string& root) {
  const std::string ours = "'" + Cli + "' --cached --quiet -S -P- '" + root + "/*.*' > /dev/null 2>&1";
  const std::string find = "find '" + root + "' -type f -print0 | xargs -0 cat > /dev/null";
  Shell(find);  // into the page cache
  const auto [seconds, baseline] = BestOf(2, [&] { Shell(ours); }, [&] { Shell(find); });
  return ReportRatio("korvane-cli --cached 1,000,000 files vs find | xargs cat", seconds, baseline, 0.7);
}

long ResidentKib() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The window program's run: the log goes into the status's store.
bool StoreMemory(const std::string& root, const std::string& scratch) {
  TVerifyStatus status;
  TVerifySetupInfo setup(scratch + "/korvane-bench-million.ini");
  setup.AllSubdirectories = true;
  setup.VerifyList = {root + "/*.*"};
  const long before = ResidentKib();
  TVerifier(status, setup, TRunOptions{.Cached = true}).WaitFor();
  const long afterRun = ResidentKib();
  const double store = static_cast<double>(status.Log.BytesUsed()) / MillionTree::Files;
  const double grown = static_cast<double>(afterRun - before) * 1024 / MillionTree::Files;
  // The same lines one std::string each, as they were kept before.
  const long beforeCopy = ResidentKib();
  const std::vector<std::string> strings = status.Log;
  const double perString = static_cast<double>(ResidentKib() - beforeCopy) * 1024 / MillionTree::Files;
  const bool ok = grown <= 90;
  std::printf("%-58s %.1f bytes/file (store %.1f; one string a line: %.1f, ratio %.2f) limit 90 %s\n",
              "window program: memory grown per file by the run's log", grown, store, perString,
              grown / perString, ok ? "ok" : "OVER");
  std::remove((scratch + "/korvane-bench-million.ini").c_str());
  return ok;
}

class TDiscard : public TLineSink {
 public:
  void Append(std::string_view) override {}
};

// What korvane-cli keeps of 100,000 files that failed: the error list it
// prints at the end of the log, spilled to a file, against the same lines
// as strings in memory.
bool ErrorListMemory() {
  TDiscard log;
  TSpilledLines errorList;
  TLogWriter writer(log, errorList);
  const long before = ResidentKib();
  for (int i = 0; i < 100000; ++i) {
    writer.FileFinished({.Path = "/mnt/nas/backup/2024/photos/d" + std::to_string(i / 1000) + "/IMG_" +
                                 std::to_string(i) + ".jpg",
                         .Size = 4000000,
                         .Outcome = TFileOutcome::ReadFailure,
                         .ErrorPosition = 1048576,
                         .ErrorCode = 5,
                         .ErrorText = "Input/output error"});
  }
  const double mib = static_cast<double>(ResidentKib() - before) / 1024;
  const long beforeCopy = ResidentKib();
  std::vector<std::string> strings;
  errorList.ForEach([&](std::string_view line) { strings.emplace_back(line); });
  const double stringsMib = static_cast<double>(ResidentKib() - beforeCopy) / 1024;
  const bool ok = mib <= 15;
  std::printf("%-58s %.1f MiB (one string a line: %.1f MiB, ratio %.2f) limit 15 %s\n",
              "error list of 100,000 failing files", mib, stringsMib, mib / stringsMib, ok ? "ok" : "OVER");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/dev/shm";
  const bool keep = argc > 2 && std::strcmp(argv[2], "--keep") == 0;
  const std::string root = MillionTree::Make(scratch);
  // The children's peak is measured first: a child started by posix_spawn
  // shares this process's memory until it runs the program, and its peak
  // would include what this process has grown to.
  bool ok = CliMemory(root, scratch);
  // Before the store's run: memory this process freed would hide growth.
  ok &= ErrorListMemory();
  ok &= CliTime(root);
  ok &= StoreMemory(root, scratch);
  if (!keep) std::filesystem::remove_all(root);
  return ok ? 0 : 1;
}
