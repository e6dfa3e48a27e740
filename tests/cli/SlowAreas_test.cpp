// korvane-cli on a file with slow areas: each listed on standard error with
// its time, counted in the closing line, and no failure.
#include <gtest/gtest.h>

#include <regex>

#include "CliProcess.h"
#include "TestFs.h"

namespace {

constexpr std::int64_t MiB = 1 << 20;

// The slow-range lines of standard error, each as "FIRST–LAST (LENGTH 字节)"
// and its milliseconds.
std::vector<std::pair<std::string, long>> SlowRanges(const std::string& err) {
  static const std::regex line("慢区 ([0-9,]+–[0-9,]+ \\([0-9,]+ 字节\\)) ([0-9,]+) 毫秒");
  std::vector<std::pair<std::string, long>> ranges;
  for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator();
       ++it) {
    std::string ms = (*it)[2];
    std::erase(ms, ',');
    ranges.emplace_back((*it)[1], std::stol(ms));
  }
  return ranges;
}

}  // namespace

TEST(SlowAreas, ListedCountedAndNoFailure) {
  TTestFs fs({{.Path = "worn.bin",
               .Size = 4 * MiB,
               .SlowRegions = {{MiB + 10, MiB + 11, 1500}, {3 * MiB, 3 * MiB + 1, 1500}}}});
  KORVANE_REQUIRE_FUSE(fs);
  const TCliResult run = RunCli({"--verbose", "-P-", fs.PathOf("worn.bin")});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_NE(run.Out.find("正确文件数: 1"), std::string::npos) << run.Out;
  const auto ranges = SlowRanges(run.Err);
  ASSERT_EQ(ranges.size(), 2u) << run.Err;
  EXPECT_EQ(ranges[0].first, "1,048,576–2,097,151 (1,048,576 字节)");
  EXPECT_EQ(ranges[1].first, "3,145,728–4,194,303 (1,048,576 字节)");
  for (const auto& [range, ms] : ranges) EXPECT_GE(ms, 1500) << range;
  EXPECT_NE(run.Err.find("有慢区 1 个文件"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(", ≥500 毫秒 2\n"), std::string::npos) << run.Err;
}

// Slow reads next to each other make one range; the threshold is the user's.
TEST(SlowAreas, NeighboursMergedUnderTheGivenThreshold) {
  TTestFs fs({{.Path = "worn.bin",
               .Size = 4 * MiB,
               .SlowRegions = {{MiB - 1, MiB + 1, 300}, {3 * MiB, 3 * MiB + 1, 50}}}});
  KORVANE_REQUIRE_FUSE(fs);
  const TCliResult run = RunCli({"--slow=200", "-P-", fs.PathOf("worn.bin")});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const auto ranges = SlowRanges(run.Err);
  ASSERT_EQ(ranges.size(), 1u) << run.Err;
  EXPECT_EQ(ranges[0].first, "0–2,097,151 (2,097,152 字节)");
  EXPECT_GE(ranges[0].second, 600);
  EXPECT_EQ(run.Err.find("读取用时"), std::string::npos) << "only with --verbose";
}
