// korvane-cli on media that stop answering: a drive pulled out mid-run, a
// read or an open held by a device that ignores every interrupt.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <thread>

#include "CliProcess.h"
#include "TestFs.h"

using namespace std::chrono_literals;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++found;
  return found;
}

void WaitUntilOpen(const TCliProcess& cli, const std::string& path) {
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (!cli.HasOpen(path) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(cli.HasOpen(path)) << "korvane-cli never opened " << path;
}

}  // namespace

// The listing does not say what kind each name is: once the drive is gone,
// no directory may be taken for a file, and the rest is not tried name by
// name.
TEST(CliLostMedia, DrivePulledOutMidRunIsSaidOnceAndNoDirectoryBecomesAFile) {
  TTestFs fs({{.Path = "top/a.bin", .Size = 5000, .SlowRegions = {{0, 1, 3000}}},
              {.Path = "top/b.bin", .Size = 100},
              {.Path = "top/sub/c.bin", .Size = 100},
              {.Path = "top/sub2/d.bin", .Size = 100}});
  KORVANE_REQUIRE_FUSE(fs);
  TCliProcess cli({"--quiet", "-S", fs.PathOf("top/*.*")});
  WaitUntilOpen(cli, fs.PathOf("top/a.bin"));
  fs.KillDaemon();
  const TCliResult r = cli.Finish();
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_EQ(Count(r.Err, "korvane-cli: 驱动器已不可用: " + fs.Root() + "\n"), 1u) << r.Err;
  for (const char* name : {"'sub'", "'sub2'"})
    EXPECT_FALSE(Contains(r.Out, std::string("   文件") + name)) << name << "\n" << r.Out;
  EXPECT_TRUE(Contains(r.Out, "   不能搜索目录.\n     文件错误代码e=107\n")) << r.Out;
}

// A read, an open or a listing held by a device that ignores interrupts:
// the program its caller waits for ends within a second of Ctrl-C, with its
// log; the held call keeps only the process it was made in, which says
// nothing more.
TEST(CliLostMedia, SigintEndsTheProgramAtOnceWhileACallIgnoresInterrupts) {
  constexpr std::int64_t MiB = 1 << 20;
  TTestFs fs({{.Path = "read.bin", .Size = 4 * MiB, .SlowRegions = {{MiB, MiB + 1, 20000}}},
              {.Path = "open.bin", .Size = 1000, .OpenDelayMs = 20000},
              {.Path = "next.bin", .Size = 1000},
              {.Path = "listed/a.bin", .Size = 1000}},
             {}, {.Threaded = true, .IgnoreInterrupts = true, .SlowListings = {{"listed", 20000}}});
  KORVANE_REQUIRE_FUSE(fs);
  for (const auto& [item, line] : {std::pair{"read.bin", "   文件'read.bin':\n"},
                                   std::pair{"open.bin", "   文件'open.bin':\n"},
                                   std::pair{"listed/*.*", "listed/*.*',属性:'"}}) {
    SCOPED_TRACE(item);
    TCliProcess cli({"-P-", "--quiet", fs.PathOf(item), fs.PathOf("next.bin")});
    if (item == std::string("read.bin")) WaitUntilOpen(cli, fs.PathOf(item));
    std::this_thread::sleep_for(500ms);
    kill(cli.Pid(), SIGINT);
    const auto sent = std::chrono::steady_clock::now();
    const TCliResult r = cli.Finish();
    EXPECT_LT(r.Ended - sent, 1s);
    EXPECT_EQ(r.ExitCode, 130) << r.Err;
    EXPECT_TRUE(Contains(r.Out, line)) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "进程被用户中止.\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "总计时间: ")) << r.Out;
    EXPECT_FALSE(Contains(r.Out, "next.bin")) << r.Out;
  }
}
