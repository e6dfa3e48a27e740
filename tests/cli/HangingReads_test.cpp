// korvane-cli and a read that hangs in the kernel: the progress line says
// so, Ctrl-C ends the run with its log at once, and --timeout fails the
// file and goes on.
#include <gtest/gtest.h>

#include <signal.h>

#include <thread>

#include "CliProcess.h"
#include "TestFs.h"

using namespace std::chrono_literals;

namespace {

constexpr std::int64_t MiB = 1 << 20;

// A file whose read at 1 MiB does not return for a minute, and one after it.
TTestFs HangingFiles() {
  return TTestFs({{.Path = "hang.bin", .Size = 4 * MiB, .SlowRegions = {{MiB, MiB + 1, 60000}}},
                  {.Path = "next.bin", .Size = 1000}},
                 {}, {.Threaded = true});
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(CliHangingReads, StalledOnTheProgressLineAndSigintEndsTheRunAtOnce) {
  TTestFs fs = HangingFiles();
  KORVANE_REQUIRE_FUSE(fs);
  TCliOptions options;
  options.ErrorToTerminal = true;
  TCliProcess cli({"-P-", fs.PathOf("hang.bin"), fs.PathOf("next.bin")}, options);
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (!cli.HasOpen(fs.PathOf("hang.bin")) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(5ms);
  // Blocked for more than two seconds: the line says so.
  std::this_thread::sleep_for(3500ms);
  kill(cli.Pid(), SIGINT);
  const auto sent = std::chrono::steady_clock::now();
  const TCliResult r = cli.Finish();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(r.Ended - sent);
  std::cout << "ended " << took.count() << " ms after SIGINT\n";
  EXPECT_LT(took, 1s);
  EXPECT_EQ(r.ExitCode, 130) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "读取已停滞 3 秒")) << r.Err;
  EXPECT_TRUE(Contains(r.Out, "     文件被跳过.\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "进程被用户中止.")) << r.Out;
}

TEST(CliHangingReads, TimeoutFailsTheFileAndTheRunGoesOn) {
  TTestFs fs = HangingFiles();
  KORVANE_REQUIRE_FUSE(fs);
  const auto start = std::chrono::steady_clock::now();
  const TCliResult r = RunCli({"--timeout=2", "-P4096", fs.PathOf("hang.bin"), fs.PathOf("next.bin")});
  EXPECT_LT(r.Ended - start, 10s);
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_TRUE(Contains(r.Out, "     文件错误代码e=110\n     系统错误信息=读取超时\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "   文件'next.bin':\n     长度: 1,000 字节\n     文件正确.\n")) << r.Out;
}
