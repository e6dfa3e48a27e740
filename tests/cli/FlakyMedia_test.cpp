// korvane-cli on media that fail now and then, answer slowly, or fail one
// block under a real file system: never a pass a unit read would have
// failed, never a slowdown the medium did not cause, and positions as the
// medium gives them.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "CliProcess.h"
#include "Locale.h"
#include "ReportCheck.h"
#include "TempDir.h"
#include "TestFs.h"

using Lines = std::vector<std::string>;

namespace {

constexpr std::int64_t MiB = 1 << 20;
const std::string IntermittentNote = " (间歇性错误: 再读成功)";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string PositionText(std::int64_t at) {
  return "错误位置在" + Platform::FormatCount(at) + "字节处";
}

}  // namespace

// One byte that fails every other read, the first one included: the large
// read fails and the unit re-reads succeed, yet the file fails, where the
// failed read began. Without an error position the one read fails as is.
TEST(FlakyMedia, UnitFailingEveryOtherReadAlwaysFailsTheFile) {
  constexpr std::int64_t Flaky = 150'000;
  const Lines units = {"1", "512", "4096", "65536", "-"};
  std::vector<TTestFile> files;
  // A file each: a run leaves the byte's count of reads where it found it
  // only when it read it an even number of times.
  for (const std::string& unit : units)
    files.push_back({.Path = "flaky" + unit, .Size = MiB / 4, .FlakyRanges = {{Flaky, Flaky + 1}}});
  TTestFs fs(files);
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  for (const std::string& unit : units) {
    SCOPED_TRACE("-P" + unit);
    const std::string report = dir.PathOf("r" + unit + ".jsonl");
    const TCliResult r =
        RunCli({"--all-errors", "--report=" + report, "-P" + unit, fs.PathOf("flaky" + unit)});
    EXPECT_EQ(r.ExitCode, 1) << r.Out;
    EXPECT_FALSE(Contains(r.Out, "文件正确.")) << r.Out;
    const nlohmann::json file = OfType(ValidReport(report), "file").at(0);
    EXPECT_EQ(file["outcome"], "read_error");
    const std::int64_t at = file["error"]["offset"];
    EXPECT_TRUE(Contains(r.Out, PositionText(at))) << r.Out;
    if (unit == "-") {
      EXPECT_EQ(at, 0);
      EXPECT_FALSE(file["error"].contains("intermittent"));
      continue;
    }
    // The failed read began on a unit and covered the flaky byte; its
    // stretch is the one bad range.
    const std::int64_t size = std::stoll(unit);
    EXPECT_EQ(at % size, 0);
    EXPECT_LE(at, Flaky);
    EXPECT_EQ(file["error"]["intermittent"], true);
    EXPECT_EQ(file["error"]["code"], 5);
    ASSERT_EQ(file["bad_ranges"].size(), 1u) << file.dump();
    const nlohmann::json& range = file["bad_ranges"][0];
    EXPECT_EQ(range["offset"], at);
    EXPECT_GT(range["offset"].get<std::int64_t>() + range["length"].get<std::int64_t>(), Flaky);
    EXPECT_EQ(range["intermittent"], true);
    EXPECT_TRUE(Contains(r.Err, IntermittentNote + "\n")) << r.Err;
  }
}

// Every read takes 150 ms: a unit of 1 KiB asks for hardly more reads than
// no error position does. Counted, not timed.
TEST(FlakyMedia, SlowMediumIsReadInLargePieces) {
  TTestFs fs({{.Path = "unit.bin", .Size = MiB, .DelayMs = 150},
              {.Path = "whole.bin", .Size = MiB, .DelayMs = 150}});
  KORVANE_REQUIRE_FUSE(fs);
  EXPECT_EQ(RunCli({"-P1024", fs.PathOf("unit.bin")}).ExitCode, 0);
  EXPECT_EQ(RunCli({"-P-", fs.PathOf("whole.bin")}).ExitCode, 0);
  EXPECT_LE(fs.ReadsServed("unit.bin"), fs.ReadsServed("whole.bin") + 2);
}
