// korvane-cli's own files and streams: two of them are never one file, a
// run refused at the start touches none of them, closed standard streams
// and a log reader that goes away are no reason to lose the run.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TestUtil.h"

using Lines = std::vector<std::string>;
using Json = nlohmann::json;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every entry under dir with its bytes (a link by its target).
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string path = entry.path().string();
    if (entry.is_symlink()) files[path] = "-> " + std::filesystem::read_symlink(entry.path()).string();
    else if (entry.is_regular_file()) files[path] = TestUtil::ReadFile(path);
    else files[path] = "(other)";
  }
  return files;
}

Json LastReportLine(const std::string& report) {
  const Lines lines = SplitLines(TestUtil::ReadFile(report));
  return lines.empty() ? Json() : Json::parse(lines.back(), nullptr, false);
}

}  // namespace

// Each run is refused before it starts (exit 2, a message naming what
// clashed) and leaves every file of the folder as it was; standard output
// appends to "out" there, so a log written anyway would show too.
TEST(CliOwnFiles, ClashingOrUnusableOutputsAreRefusedBeforeAnythingIsWritten) {
  TTempDir dir;
  dir.WriteFile("a.txt", "abc");
  dir.WriteFile("out", "earlier output\n");
  dir.WriteFile("prev.jsonl", "earlier report\n");
  dir.WriteFile("state", "earlier state\n");
  dir.WriteFile("sums.md5", "earlier sums\n");
  dir.WriteFile("SHA256SUMS",
                "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  a.txt\n");
  dir.MakeDir("sub");
  ASSERT_EQ(symlink("sums.md5", dir.PathOf("sums.link").c_str()), 0);
  ASSERT_EQ(link(dir.PathOf("state").c_str(), dir.PathOf("state.hard").c_str()), 0);
  const struct {
    Lines Options;
    Lines Said;
  } cases[] = {
      {{"--report=prev.jsonl", "--log=prev.jsonl"}, {"--log", "--report"}},
      {{"--resume=state", "--log=state"}, {"--log", "--resume"}},
      {{"--resume=state", "--report=state.hard"}, {"--report", "--resume"}},
      {{"--make-sums=sums.md5", "--log=./sums.md5"}, {"--log", "--make-sums"}},
      {{"--make-sums=sums.md5", "--report=sums.link"}, {"--report", "--make-sums"}},
      {{"--log=SHA256SUMS", "--check-sums=SHA256SUMS"}, {"--log", "--check-sums"}},
      {{"--make-sums=sub/../SHA256SUMS", "--check-sums=SHA256SUMS"}, {"--make-sums", "--check-sums"}},
      {{"--log=new.log", "--report=sub/../new.log"}, {"--log", "--report"}},
      {{"--report=/dev/stdout"}, {"标准输出", "--report"}},
      {{"--report=prev.jsonl", "--log=/nonexistent/x.log"}, {"不能创建文件'/nonexistent/x.log'"}},
      {{"--report=prev.jsonl", "--resume=state"}, {"状态文件"}},
      {{"--resume=new.state", "--log=/nonexistent/x.log"}, {"/nonexistent/x.log"}},
      {{"--report=prev.jsonl", "--make-sums=sub"}, {"不能写校验和文件'sub'"}},
  };
  const auto before = Snapshot(dir.Path());
  for (const auto& c : cases) {
    std::string label;
    for (const std::string& option : c.Options) label += option + " ";
    Lines arguments = c.Options;
    arguments.push_back("a.txt");
    const TCliResult r =
        RunShell("exec \"$0\" \"$@\" >> out", arguments, {.WorkDir = dir.Path()});
    EXPECT_EQ(r.ExitCode, 2) << label << r.Err;
    for (const std::string& said : c.Said) EXPECT_TRUE(Contains(r.Err, said)) << label << r.Err;
    EXPECT_EQ(Snapshot(dir.Path()), before) << label;
  }
}

// A log or report named by a relative link to standard output, or by a
// path to it with "..", is written through the descriptor, appended.
TEST(CliOwnFiles, RelativeNamesOfStandardOutputAreStreams) {
  TTempDir dir;
  dir.WriteFile("a.txt", "abc");
  dir.WriteFile("out", "earlier\n");
  std::string toRoot;
  for (const char c : dir.Path())
    if (c == '/') toRoot += "../";
  ASSERT_EQ(symlink((toRoot + "dev/stdout").c_str(), dir.PathOf("relso").c_str()), 0);
  for (const std::string name : {"relso", "/proc/self/fd/../fd/1"}) {
    dir.WriteFile("out", "earlier\n");
    const TCliResult r =
        RunShell("exec \"$0\" \"$@\" >> out", {"--log=" + name, "a.txt"}, {.WorkDir = dir.Path()});
    EXPECT_EQ(r.ExitCode, 0) << name << r.Err;
    const std::string out = TestUtil::ReadFile(dir.PathOf("out"));
    EXPECT_TRUE(out.starts_with("earlier\nKorvane")) << name << ": " << out.substr(0, 40);
    struct stat link {};
    EXPECT_EQ(lstat(dir.PathOf("relso").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link must stay a link";
  }
}

// Started with standard streams closed, the run still ends as it should:
// the numbers 0-2 are not taken by files of its own.
TEST(CliOwnFiles, ClosedStandardStreams) {
  TTempDir dir;
  dir.WriteFile("a.txt", "abc");
  for (const std::string closed : {"<&-", ">&-", "2>&-", "<&- >&- 2>&-"}) {
    const std::string report = dir.PathOf("run.jsonl");
    const TCliResult r = RunShell("exec \"$0\" \"$@\" " + closed,
                                  {"--report=" + report, dir.PathOf("a.txt")});
    EXPECT_EQ(r.ExitCode, 0) << closed << r.Err;
    EXPECT_EQ(LastReportLine(report)["exit_status"], 0) << closed;
  }
}

// `| head -1`: once the log's reader has gone the run ends, as on a stop,
// with 141, and its report is written to its end.
TEST(CliOwnFiles, ALogReaderThatGoesAwayEndsTheRun) {
  std::vector<TTestFile> files;
  for (int i = 0; i < 60; ++i)
    files.push_back({.Path = "f" + std::to_string(i) + ".bin", .Size = 100, .DelayMs = 100});
  TTestFs fs(files);
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string report = dir.PathOf("run.jsonl"), status = dir.PathOf("status");
  const TCliResult r = RunShell("{ \"$0\" \"$@\"; echo $? > " + status + "; } | head -1",
                                {"--report=" + report, fs.Root() + "/*.*"});
  EXPECT_TRUE(r.Out.starts_with("Korvane")) << r.Out;
  EXPECT_EQ(TestUtil::ReadFile(status), "141\n") << r.Err;
  const Json summary = LastReportLine(report);
  EXPECT_EQ(summary["type"], "summary");
  EXPECT_EQ(summary["interrupted"], true);
  EXPECT_EQ(summary["exit_status"], 141);
  EXPECT_LT(summary["files"].get<int>(), 60) << "the run read on";
}
