// korvane-cli's own units: the long options, the progress line and the
// log's flushes.
#include <gtest/gtest.h>

#include "CliOptions.h"
#include "LogOutput.h"
#include "OverallProgress.h"
#include "Progress.h"
#include "TerminalText.h"

using Lines = std::vector<std::string>;

TEST(CliOptions, LongOptionsAreTakenOffBeforeTheSwitchParser) {
  const struct {
    Lines Arguments;
    bool Help, Version, Quiet;
    std::optional<std::string> LogFile;
    Lines Parameters, LiteralItems, Errors;
  } cases[] = {
      {{"-S", "--quiet", "a", "--", "-x", "", "--help", "--"}, false, false, true, {},
       {"-S", "a"}, {"-x", "--help", "--"}, {}},
      {{"--log=out.txt", "x"}, false, false, false, "out.txt", {"x"}, {}, {}},
      {{"--log", "out file.txt", "x"}, false, false, false, "out file.txt", {"x"}, {}, {}},
      {{"--log=a", "--log=b"}, false, false, false, "b", {}, {}, {}},
      {{"-", "--version", "/help"}, false, true, false, {}, {"-", "/help"}, {}, {}},
      {{"--help", "", "-H"}, true, false, false, {}, {"-H"}, {}, {}},
      {{"--log="}, false, false, false, {}, {}, {}, {"选项 '--log' 需要一个文件名"}},
      {{"x", "--log"}, false, false, false, {}, {"x"}, {}, {"选项 '--log' 需要一个文件名"}},
      {{"--log", "", "x"}, false, false, false, {}, {"x"}, {}, {"选项 '--log' 需要一个文件名"}},
      {{"--help=1", "--bogus", "--Quiet"}, false, false, false, {}, {}, {},
       {"选项 '--help' 不允许有参数", "无法识别的选项 '--bogus'", "无法识别的选项 '--Quiet'"}},
  };
  for (const auto& c : cases) {
    const TCliArguments got = SplitArguments(c.Arguments);
    std::string label;
    for (const auto& a : c.Arguments) label += "[" + a + "]";
    EXPECT_EQ(got.Help, c.Help) << label;
    EXPECT_EQ(got.Version, c.Version) << label;
    EXPECT_EQ(got.Quiet, c.Quiet) << label;
    EXPECT_EQ(got.LogFile, c.LogFile) << label;
    EXPECT_EQ(got.Parameters, c.Parameters) << label;
    EXPECT_EQ(got.LiteralItems, c.LiteralItems) << label;
    EXPECT_EQ(got.Errors, c.Errors) << label;
  }
}

TEST(CliOptions, OpenTakesEveryFollowingWordAsAPath) {
  const TCliArguments open = SplitArguments({"-S", "--quiet", "--open", "-x", "--", "--help", ""});
  EXPECT_TRUE(open.Quiet);
  EXPECT_FALSE(open.Help);
  EXPECT_EQ(open.Parameters, Lines{"-S"});
  EXPECT_EQ(open.OpenPaths, (Lines{"-x", "--", "--help", ""}));
  const TCliArguments literal = SplitArguments({"--", "--open", "d"});
  EXPECT_EQ(literal.LiteralItems, (Lines{"--open", "d"}));
  EXPECT_TRUE(literal.OpenPaths.empty());
}

TEST(CliProgress, LineShowsTheWholeRunAndTimeLeftOnceTheCountIsDone) {
  const std::int64_t GiB = std::int64_t{1} << 30;
  const auto at = [&](bool complete, std::int64_t countedFiles, std::int32_t errors) {
    return TStatusSnapshot{.CurrentFile = "a.bin", .CurrentFileSize = GiB, .CurrentFilePosition = GiB / 2,
                           .FilesOk = 12345 - errors, .FilesError = errors, .BytesDone = GiB / 2,
                           .CountedFiles = countedFiles, .CountedBytes = 4 * GiB, .CountComplete = complete};
  };
  const struct {
    TStatusSnapshot Snapshot;
    double Seconds;
    std::string Line;
  } cases[] = {
      {at(true, 40000, 0), 40, "25% 1.0/4.0 GiB 12,345/40,000 个文件 27 MB/s 剩余 2 分 0 秒 当前: a.bin"},
      // Totals still growing: lower bounds, no percentage, no time left.
      {at(false, 40000, 0), 40, "1.0/≥4.0 GiB 12,345/≥40,000 个文件 27 MB/s 当前: a.bin"},
      // Too early for an estimate.
      {at(true, 40000, 0), 1.5, "25% 1.0/4.0 GiB 12,345/40,000 个文件 716 MB/s 当前: a.bin"},
      // A count behind the run never shows less than what is done.
      {at(false, 10, 2), 40, "1.0/≥4.0 GiB 12,345/≥12,345 个文件 27 MB/s 错误 2 当前: a.bin"},
      {{.CurrentFile = "e", .FilesOk = 1, .BytesDone = 500, .CountedFiles = 2, .CountedBytes = 1000,
        .CountComplete = true},
       4, "50% 500/1000 B 1/2 个文件 125 B/s 剩余 4 秒 当前: e"},
      // Empty files only: the fraction of the files.
      {{.CurrentFile = "e", .FilesOk = 3, .CountedFiles = 4, .CountComplete = true}, 3,
       "75% 0/0 B 3/4 个文件 0 B/s 剩余 1 秒 当前: e"},
      // A read that has not returned for seconds: said before the name.
      {{.CurrentFile = "e", .FilesOk = 3, .CountedFiles = 4, .CountComplete = true,
        .ReadStalledSeconds = 7},
       3, "75% 0/0 B 3/4 个文件 0 B/s 剩余 1 秒 读取已停滞 7 秒 当前: e"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressLine(c.Snapshot, c.Seconds, 200), c.Line);
  for (const auto& [seconds, text] : {std::pair{45.0, "45 秒"}, {130.0, "2 分 10 秒"}, {3900.0, "1 小时 5 分"}})
    EXPECT_EQ(TimeLeftText(seconds), text);
}

TEST(CliProgress, LineFitsTheTerminalAndShowsNamesSafely) {
  const std::string longName = "很长的文件名" + std::string(100, 'n') + ".bin";
  const std::string nasty = "evil\n\x1b[2Jname\xFF";
  const auto reading = [](const std::string& name) {
    return TStatusSnapshot{.CurrentFile = name, .CurrentFileSize = 2, .CurrentFilePosition = 1,
                           .TotalBytes = 3, .FilesOk = 4, .FilesError = 5};
  };
  for (const std::size_t columns : {20u, 60u, 79u, 200u}) {
    for (const std::string& name : {longName, nasty}) {
      const std::string line = ProgressLine(reading(name), 1.0, columns);
      EXPECT_LE(DisplayWidth(line), columns) << line;
      EXPECT_EQ(line.find_first_of("\n\x1b"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(ProgressLine(reading(nasty), 1.0, 200).ends_with("evil\\x0A\\x1B[2Jname\xEF\xBF\xBD"));
  EXPECT_TRUE(ProgressLine(reading(longName), 1.0, 79).ends_with("nn…"));
}

TEST(CliProgress, WidthOfChineseAndEmojiIsTwoColumns) {
  const struct {
    std::string Text;
    std::size_t Columns;
    std::string Fitted;
  } cases[] = {
      {"abc", 3, "abc"},     {"abcd", 3, "ab…"},        {"文件名很长", 5, "文件…"},
      {"文件名很长", 4, "文…"}, {"😀😀x", 5, "😀😀x"},      {"😀😀xy", 5, "😀😀…"},
      {"abc", 0, ""},        {"ａｂ", 4, "ａｂ"},
  };
  for (const auto& c : cases) EXPECT_EQ(FitToWidth(c.Text, c.Columns), c.Fitted) << c.Text;
  EXPECT_EQ(DisplayWidth("-P<读取单位>"), 12u);
  EXPECT_EQ(PadToWidth("-H 或 -?", 12), "-H 或 -?    ");
}

namespace {

// A log to a pipe or file, whose writes are kept to be looked at.
class TWrittenLog : public TLogOutput {
 public:
  TWrittenLog() : TLogOutput("\n", false) {}
  std::string Written;

 protected:
  bool Put(const std::string& text) override {
    Written += text;
    return true;
  }
  std::optional<std::string> Finish() override { return std::nullopt; }
};

}  // namespace

TEST(CliLog, AFileThatTookLongerThanTheFlushIntervalIsWrittenOutAtItsEnd) {
  TWrittenLog log;
  TLongFileFlush flush(log);
  TFileRecord record;
  log.Append("quick");
  record.Seconds = 0.2;
  flush.FileFinished(record);
  EXPECT_EQ(log.Written, "");
  log.Append("slow");
  record.Seconds = 1.5;
  flush.FileFinished(record);
  EXPECT_EQ(log.Written, "quick\nslow\n");
}
