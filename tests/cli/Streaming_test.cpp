// korvane-cli's log while the run goes on: on a pipe, in a log file, and
// what a stop or a failed start leaves behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "CliProcess.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TextEncoding.h"

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

// One quick file, then one of five reads of 900 ms (a unit, then 1 MiB at
// a time): four seconds of run.
TTestFs SlowTree() {
  return TTestFs({{.Path = "a.bin", .Size = 10}, {.Path = "slow.bin", .Size = 4 << 20, .DelayMs = 900}});
}

Lines RunArguments(const TTestFs& fs) { return {"-P1024", fs.PathOf("a.bin"), fs.PathOf("slow.bin")}; }

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Lines DecodedLog(const std::filesystem::path& path) {
  const auto text = Platform::Gb18030ToUtf8(ReadBytes(path));
  return text ? SplitLines(*text, "\r\n") : Lines{};
}

std::vector<std::filesystem::path> Temporaries(const TTempDir& dir) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    if (entry.path().filename().string().ends_with(".tmp")) found.push_back(entry.path());
  return found;
}

// The new log while it is written: a temporary file beside the old one, or
// an unnamed file in its directory, which only the program's descriptor
// reaches.
std::vector<std::filesystem::path> NewLogs(const TTempDir& dir, const TCliProcess& cli) {
  std::vector<std::filesystem::path> found = Temporaries(dir);
  for (const pid_t pid : cli.Pids()) {
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
      const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
      if (target.starts_with(dir.Path() + "/#") && target.ends_with(" (deleted)"))
        found.push_back(entry.path());
    }
  }
  return found;
}

// Without reaping it: Finish still needs its status.
bool Running(const TCliProcess& cli) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(cli.Pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

}  // namespace

TEST(CliStreaming, TheFirstFilesLinesReachAPipeWhileASlowFileHoldsTheRun) {
  TTestFs fs = SlowTree();
  KORVANE_REQUIRE_FUSE(fs);
  TCliProcess cli(RunArguments(fs));
  const std::string early = cli.ReadOutputUntil("     文件正确.\n", 3s);
  EXPECT_TRUE(Running(cli)) << "the run ended before its log was seen";
  EXPECT_NE(early.find("   文件'a.bin':\n     长度: 10 字节\n     文件正确.\n"), std::string::npos)
      << early;
  EXPECT_EQ(early.find("小计:"), std::string::npos);
  kill(cli.Pid(), SIGINT);
  const TCliResult r = cli.Finish();
  EXPECT_EQ(r.ExitCode, 130);
  EXPECT_TRUE(r.Out.starts_with(early));
  EXPECT_NE(r.Out.find("总计时间: "), std::string::npos) << r.Out;
}

TEST(CliStreaming, LogFileGrowsAsTheRunGoesAndAStopStillClosesIt) {
  TTestFs fs = SlowTree();
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir out;
  ASSERT_TRUE(out.WriteFile("log.txt", "older log"));
  const std::string logPath = out.PathOf("log.txt");

  // Runs that never start leave the older log as it was.
  EXPECT_EQ(RunCli({"--log=" + logPath}).ExitCode, 2);
  EXPECT_EQ(RunCli({"--log=" + logPath, "-P0", fs.PathOf("a.bin")}).ExitCode, 2);
  EXPECT_EQ(ReadBytes(logPath), "older log");

  Lines arguments = RunArguments(fs);
  arguments.push_back("--log=" + logPath);
  TCliProcess cli(arguments);
  // The lines so far are in a new file beside the log, not yet in it.
  Lines written;
  for (const auto limit = std::chrono::steady_clock::now() + 3s;
       std::chrono::steady_clock::now() < limit && written.size() < 7;
       std::this_thread::sleep_for(20ms)) {
    const auto newLogs = NewLogs(out, cli);
    if (newLogs.size() == 1) written = DecodedLog(newLogs[0]);
  }
  ASSERT_GE(written.size(), 7u);
  EXPECT_EQ(written[6], "   文件'a.bin':");
  EXPECT_TRUE(Running(cli));
  EXPECT_EQ(ReadBytes(logPath), "older log");

  kill(cli.Pid(), SIGINT);
  const TCliResult r = cli.Finish();
  EXPECT_EQ(r.ExitCode, 130) << r.Err;
  const Lines log = DecodedLog(logPath);
  ASSERT_GE(log.size(), 10u);
  EXPECT_TRUE(std::equal(written.begin(), written.end(), log.begin()));
  EXPECT_NE(std::find(log.begin(), log.end(), "进程被用户中止."), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "总计正确文件数: 1"), log.end());
  EXPECT_TRUE(log.back().starts_with("总计时间: ")) << log.back();
  EXPECT_TRUE(Temporaries(out).empty());
}

TEST(CliStreaming, ASecondSigintLeavesTheOlderLogAndNoTemporaryFile) {
  // An open the file system holds for two seconds: a read that hangs is
  // left at once, an open is not, so the first SIGINT cannot end the run.
  TTestFs fs({{.Path = "stuck.bin", .Size = 100, .OpenDelayMs = 2000}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir out;
  ASSERT_TRUE(out.WriteFile("log.txt", "older log"));
  const std::string logPath = out.PathOf("log.txt");
  TCliProcess cli({"-P-", "--log=" + logPath, fs.PathOf("stuck.bin")});
  for (const auto limit = std::chrono::steady_clock::now() + 20s;
       !cli.HasOpen(fs.PathOf("stuck.bin")) && std::chrono::steady_clock::now() < limit;)
    std::this_thread::sleep_for(5ms);
  // The read-ahead helper may open the file first: the worker's open has
  // begun a moment later.
  std::this_thread::sleep_for(300ms);
  kill(cli.Pid(), SIGINT);
  std::this_thread::sleep_for(200ms);
  kill(cli.Pid(), SIGINT);
  EXPECT_EQ(cli.Finish().Signal, SIGINT);
  EXPECT_EQ(ReadBytes(logPath), "older log");
  EXPECT_TRUE(Temporaries(out).empty());
}

TEST(CliStreaming, SignalsAreAnsweredWhileTheLogWaitsForAStalledPipe) {
  // About 150 KiB of log: more than a pipe holds, and nobody reads it
  // until the program has ended.
  TTempDir tree;
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(tree.WriteFile("f" + std::to_string(i), "x"));
  TCliProcess cli({"--cached", "-P-", tree.PathOf("*")});
  std::this_thread::sleep_for(1s);
  kill(cli.Pid(), SIGINT);
  std::this_thread::sleep_for(200ms);
  kill(cli.Pid(), SIGINT);
  std::this_thread::sleep_for(500ms);
  // Ended by the second signal, not by the reading that Finish does.
  EXPECT_FALSE(Running(cli));
  EXPECT_EQ(cli.Finish().Signal, SIGINT);
}
