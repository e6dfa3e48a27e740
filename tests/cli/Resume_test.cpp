// korvane-cli --resume: runs stopped by a signal or killed outright, then
// resumed, end with the log and the report of a run never interrupted, and
// no file checked through is read again.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "CliProcess.h"
#include "ReportCheck.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TestUtil.h"

using Json = nlohmann::json;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

// Slow files in two directories, one read each, and files that fail.
std::vector<TTestFile> SlowTree() {
  std::vector<TTestFile> files;
  for (const std::string dir : {"", "sub/"})
    for (int i = 0; i < 8; ++i)
      files.push_back({.Path = dir + "f" + std::to_string(i) + ".bin", .Size = 900, .DelayMs = 60});
  files.push_back({.Path = "sub/bad.bin", .Size = 900, .ErrorAt = 500, .DelayMs = 60});
  files.push_back({.Path = "locked.bin", .Size = 10, .DenyOpen = true});
  return files;
}

struct TRun {
  TCliResult Result;
  Lines Log;             // without the time line
  std::vector<Json> Report;  // without what depends on the clock
};

TRun Finished(TCliResult result, const std::string& report) {
  TRun run{std::move(result), {}, {}};
  run.Log = SplitLines(run.Result.Out);
  if (!run.Log.empty()) run.Log.pop_back();
  for (Json object : ValidReport(report)) {
    for (const char* timed : {"started", "argv", "seconds"}) object.erase(timed);
    // How many reads there were is the run's; which band each fell in is
    // the clock's.
    if (object.contains("read_time_histogram_ms")) {
      std::int64_t reads = 0;
      for (const auto& [band, count] : object["read_time_histogram_ms"].items())
        reads += count.get<std::int64_t>();
      object["read_time_histogram_ms"] = reads;
    }
    run.Report.push_back(object);
  }
  return run;
}

std::size_t FilesReported(const std::string& report) {
  std::ifstream in(report);
  std::size_t files = 0;
  for (std::string line; std::getline(in, line);) files += line.starts_with("{\"type\":\"file\"");
  return files;
}

// Reads served per file (relative path), the read-ahead helper's too.
std::map<std::string, int> Reads(const TTestFs& fs) {
  std::map<std::string, int> reads;
  for (const TTestFile& file : SlowTree()) reads[file.Path] = fs.ReadsServed(file.Path);
  return reads;
}

// The files a report says were checked through, as relative paths.
std::set<std::string> CheckedThrough(const std::string& report, const TTestFs& fs) {
  std::set<std::string> checked;
  std::ifstream in(report);
  for (std::string line; std::getline(in, line);) {
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || object["type"] != "file" || object["outcome"] == "stopped")
      continue;
    checked.insert(object["path"].get<std::string>().substr(fs.Root().size() + 1));
  }
  return checked;
}

}  // namespace

TEST(Resume, InterruptedRunsEndAsOneThatWasNot) {
  TTestFs fs(SlowTree());
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string report = dir.PathOf("report.jsonl"), state = dir.PathOf("state");
  const Lines arguments = {"--report=" + report, "--resume=" + state, "-S", "-P1024",
                           fs.Root() + "/*.*"};
  const TRun whole = Finished(RunCli(arguments), report);
  ASSERT_EQ(whole.Result.ExitCode, 1) << whole.Result.Err;
  EXPECT_FALSE(std::filesystem::exists(state)) << "a completed run leaves no state";

  for (const int signal : {SIGINT, SIGKILL}) {
    // What earlier runs checked through is never read again, not even ahead.
    std::set<std::string> checked;
    const auto readsOnlyTheRest = [&](const std::map<std::string, int>& before) {
      for (const auto& [path, reads] : Reads(fs)) {
        if (checked.contains(path)) {
          EXPECT_EQ(reads, before.at(path)) << path << ", " << signal;
        }
      }
    };
    for (const std::size_t point : {2u, 7u, 13u}) {
      std::filesystem::remove(report);
      const std::map<std::string, int> before = Reads(fs);
      TCliProcess cli(arguments);
      while (FilesReported(report) < point) std::this_thread::sleep_for(2ms);
      kill(cli.Pid(), signal);
      const TCliResult stopped = cli.Finish();
      EXPECT_TRUE(signal == SIGINT ? stopped.ExitCode == 130 : stopped.Signal == SIGKILL);
      ASSERT_TRUE(std::filesystem::exists(state)) << signal << " at " << point;
      readsOnlyTheRest(before);
      checked.merge(CheckedThrough(report, fs));
    }
    const std::map<std::string, int> before = Reads(fs);
    const TRun resumed = Finished(RunCli(arguments), report);
    readsOnlyTheRest(before);
    EXPECT_EQ(resumed.Result.ExitCode, 1) << resumed.Result.Err;
    EXPECT_EQ(resumed.Log, whole.Log) << signal;
    EXPECT_EQ(resumed.Report, whole.Report) << signal;
    EXPECT_FALSE(std::filesystem::exists(state));
  }
}

TEST(Resume, StateOfOtherItemsOrOptionsIsRefusedAndLeftAlone) {
  TTestFs fs({{.Path = "a.bin", .Size = 10}, {.Path = "slow.bin", .Size = 8192, .DelayMs = 200}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string state = dir.PathOf("state");
  TCliProcess cli({"--resume=" + state, "-P1024", fs.Root() + "/*.*"});
  while (!cli.HasOpen(fs.PathOf("slow.bin"))) std::this_thread::sleep_for(5ms);
  kill(cli.Pid(), SIGINT);
  ASSERT_EQ(cli.Finish().ExitCode, 130);
  const std::string kept = TestUtil::ReadFile(state);
  ASSERT_NE(kept.find('\n'), std::string::npos);
  for (const Lines& other : {Lines{"-P1024", fs.Root() + "/*.bin"}, Lines{"-P512", fs.Root() + "/*.*"},
                             Lines{"-S-", "-P1024", fs.Root() + "/*.*"},
                             Lines{"--slow=500", "-P1024", fs.Root() + "/*.*"}}) {
    Lines arguments = other;
    arguments.insert(arguments.begin(), "--resume=" + state);
    const TCliResult refused = RunCli(arguments);
    EXPECT_EQ(refused.ExitCode, 2);
    EXPECT_NE(refused.Err.find("属于另一次校验"), std::string::npos) << refused.Err;
    EXPECT_EQ(refused.Out, "");
    EXPECT_EQ(TestUtil::ReadFile(state), kept);
  }
}

// A large file stopped halfway goes on where it was (a stop leaves the read
// under way at once, as for one that hangs: that read is made again).
TEST(Resume, AFileStoppedHalfwayGoesOnFromThere) {
  constexpr std::int64_t Size = std::int64_t{8} << 20;
  TTestFs fs({{.Path = "a.bin", .Size = 900, .DelayMs = 60},
              {.Path = "big.bin", .Size = Size, .DelayMs = 60},
              {.Path = "z.bin", .Size = 900, .DelayMs = 60}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string report = dir.PathOf("report.jsonl"), state = dir.PathOf("state");
  const Lines arguments = {"--report=" + report, "--resume=" + state, "-P1048576", fs.Root() + "/*.*"};
  const TRun whole = Finished(RunCli(arguments), report);
  ASSERT_EQ(whole.Result.ExitCode, 0) << whole.Result.Err;
  const std::size_t wholeReads = fs.ReadRanges("big.bin").size();

  for (const int signal : {SIGINT, SIGTERM}) {
    const std::size_t before = fs.ReadRanges("big.bin").size();
    TCliProcess cli(arguments);
    while (fs.ReadRanges("big.bin").size() < before + wholeReads / 3)
      std::this_thread::sleep_for(2ms);
    kill(cli.Pid(), signal);
    EXPECT_EQ(cli.Finish().ExitCode, 130) << signal;
  }
  const TRun resumed = Finished(RunCli(arguments), report);
  EXPECT_EQ(resumed.Log, whole.Log);
  EXPECT_EQ(resumed.Report, whole.Report);

  // The bytes asked for across the three runs: what the whole run asked
  // (the file, its start perhaps also as a read-ahead hint), and the read
  // under way at each of the two stops (1 MiB) again at most, with what the
  // system had begun to read ahead of it (FUSE reads ahead 128 KiB).
  const auto reads = fs.ReadRanges("big.bin");
  std::int64_t asked = 0, wholeAsked = 0;
  for (std::size_t i = 0; i < reads.size(); ++i)
    (i < wholeReads ? wholeAsked : asked) += reads[i].second - reads[i].first;
  EXPECT_LE(asked, wholeAsked + 2 * ((std::int64_t{1} << 20) + (std::int64_t{256} << 10)));
}
