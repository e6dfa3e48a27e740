// korvane-cli --all-errors on a file with three bad regions: every bad
// range on standard error, the log exactly as without the switch, and the
// first error where reading in the unit throughout would place it.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "CliProcess.h"
#include "Locale.h"
#include "SystemError.h"
#include "TestFs.h"

using Lines = std::vector<std::string>;

namespace {

// The log without the lines that tell the time of the run.
std::string WithoutTimes(const std::string& log) {
  std::istringstream in(log);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find("时间") == std::string::npos && line.find("用时") == std::string::npos)
      kept += line + "\n";
  return kept;
}

std::string RangeLine(const std::string& path, std::int64_t offset, std::int64_t length) {
  using Platform::FormatCount;
  return "korvane-cli: " + path + ": 坏区 " + FormatCount(offset) + "–" +
         FormatCount(offset + length - 1) + " (" + FormatCount(length) + " 字节) e=5 " +
         Platform::SystemErrorText(EIO) + "\n";
}

}  // namespace

TEST(BadRanges, EveryRangeListedAndTheLogUnchanged) {
  for (const std::int64_t unit : {1, 512, 4096, 65536}) {
    // One unit, eight units, and the last, shorter unit of the file.
    const std::int64_t size = 64 * unit - unit / 2;
    TTestFs fs({{.Path = "scratched.bin",
                 .Size = size,
                 .BadRanges = {{5 * unit + unit / 3, 5 * unit + unit / 3 + 1},
                               {20 * unit, 27 * unit + 1},
                               {size - 1, size}}}});
    KORVANE_REQUIRE_FUSE(fs);
    const std::string path = fs.PathOf("scratched.bin");
    const Lines args = {"-S-", "-P" + std::to_string(unit), path};
    Lines all = args;
    all.insert(all.begin(), "--all-errors");
    const TCliResult plain = RunCli(args), every = RunCli(all);
    EXPECT_EQ(every.ExitCode, 1) << every.Err;
    EXPECT_EQ(WithoutTimes(every.Out), WithoutTimes(plain.Out)) << unit;
    EXPECT_NE(plain.Out.find("错误位置在" + Platform::FormatCount(5 * unit) + "字节处"),
              std::string::npos)
        << unit << "\n" << plain.Out;
    const std::string ranges = RangeLine(path, 5 * unit, unit) +
                               RangeLine(path, 20 * unit, 8 * unit) +
                               RangeLine(path, 63 * unit, size - 63 * unit);
    EXPECT_EQ(every.Err.substr(0, ranges.size()), ranges) << unit;
    EXPECT_EQ(plain.Err.find("坏区"), std::string::npos) << unit;
  }
}
