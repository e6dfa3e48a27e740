// korvane-cli --recheck: the failed files of an earlier report read again,
// each a few times, to tell damaged media from a fault that comes and goes.
#include <gtest/gtest.h>

#include <algorithm>

#include "CliProcess.h"
#include "ReportCheck.h"
#include "TempDir.h"
#include "TestFs.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string FileLine(const std::string& path, const std::string& outcome) {
  return R"({"type":"file","path":")" + path + R"(","outcome":")" + outcome + "\"}\n";
}

}  // namespace

TEST(CliRecheck, TellsDamagedMediaFromPassingFaultsAndOpensNothingElse) {
  TTestFs fs({{.Path = "bad.bin", .Size = 5000, .BadRanges = {{2048, 3072}}},
              {.Path = "flaky.bin", .Size = 1000, .GoodReads = 1},
              {.Path = "mended.bin", .Size = 5000},
              {.Path = "good.bin", .Size = 5000}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  // As an earlier run with -P1024 wrote it.
  ASSERT_TRUE(dir.WriteFile("old.jsonl", R"({"type":"header","options":{"read_unit":1024}})" "\n" +
                                             FileLine(fs.PathOf("bad.bin"), "read_error") +
                                             FileLine(fs.PathOf("flaky.bin"), "read_error") +
                                             FileLine(fs.PathOf("good.bin"), "ok") +
                                             FileLine(fs.PathOf("mended.bin"), "open_error") +
                                             R"({"type":"summary"})" "\n"));
  const std::string report = dir.PathOf("new.jsonl");
  const TCliResult r =
      RunCli({"--quiet", "--recheck=" + dir.PathOf("old.jsonl"), "--report=" + report});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  for (const auto& [name, line] :
       {std::pair{"bad.bin", "持续错误 (3 次读取中 3 次失败)"},
        std::pair{"flaky.bin", "间歇性错误 (3 次读取中 2 次失败)"},
        std::pair{"mended.bin", "已恢复 (3 次读取中 0 次失败)"}})
    EXPECT_TRUE(Contains(r.Err, "korvane-cli: '" + fs.PathOf(name) + "': " + line + "\n")) << r.Err;
  // The log is that of the first tries.
  EXPECT_TRUE(Contains(r.Out, "   文件'bad.bin':\n     长度: 5,000 字节\n"
                              "     不能读文件,错误位置在2,048字节处.\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "   文件'flaky.bin':\n     长度: 1,000 字节\n     文件正确.\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "总计校验文件数: 3\n总计正确文件数: 2\n总计错误文件数: 1\n")) << r.Out;
  const std::vector<std::string> opened = fs.OpenedFiles();
  EXPECT_GE(std::count(opened.begin(), opened.end(), "bad.bin"), 3);
  EXPECT_EQ(std::count(opened.begin(), opened.end(), "good.bin"), 0);

  std::vector<std::string> verdicts;
  for (const nlohmann::json& file : OfType(ValidReport(report), "file"))
    verdicts.push_back(file["recheck"].dump());
  EXPECT_EQ(verdicts, (std::vector<std::string>{
                          R"({"failed":3,"tries":3,"verdict":"persistent"})",
                          R"({"failed":2,"tries":3,"verdict":"intermittent"})",
                          R"({"failed":0,"tries":3,"verdict":"recovered"})"}));

  // Only a regular file is read as a report: a FIFO could hold the program.
  EXPECT_EQ(RunCli({"--recheck=" + dir.Path()}).ExitCode, 2);
}

// What reading alone cannot settle, and reports no run could have written.
TEST(CliRecheck, AMismatchIsNeverClearedAndABadReportIsRefused) {
  TTestFs fs({{.Path = "differs.bin", .Size = 100}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string header = R"({"type":"header","options":{"read_unit":1024}})" "\n";
  ASSERT_TRUE(dir.WriteFile("sums.jsonl", header + FileLine(fs.PathOf("differs.bin"), "mismatch")));
  const TCliResult r = RunCli({"--quiet", "--recheck=" + dir.PathOf("sums.jsonl")});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "'" + fs.PathOf("differs.bin") + "': 内容与校验和不符")) << r.Err;
  EXPECT_TRUE(fs.OpenedFiles().empty());

  const struct {
    const char* Name;
    std::string Text;
  } refused[] = {{"type.jsonl", R"({"type":5})" "\n"},
                 {"unit.jsonl", R"({"type":"header","options":{"read_unit":"x"}})" "\n"},
                 {"path.jsonl", header + R"({"type":"file","outcome":"read_error","path":7})" "\n"}};
  for (const auto& c : refused) {
    ASSERT_TRUE(dir.WriteFile(c.Name, c.Text));
    EXPECT_EQ(RunCli({"--recheck=" + dir.PathOf(c.Name)}).ExitCode, 2) << c.Name;
  }
  EXPECT_EQ(RunCli({"--recheck=" + dir.PathOf("sums.jsonl"), "--tries=101"}).ExitCode, 2);
}
