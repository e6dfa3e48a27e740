#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "SystemError.h"
#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

struct TRun {
  TTempDir Dir;
  TVerifyStatus Status;
  TVerifySetupInfo Setup{Dir.PathOf("KORVANE.INI")};

  TRun() {
    Setup.AllFileAttributes = false;
    Setup.AllSubdirectories = false;
  }
  // Runs the chosen items to the end and returns the log.
  Lines RunToEnd(TBufferAllocator allocate = AllocateReadBuffer) {
    Status.Reset();
    TVerifier verifier(Status, Setup, {}, allocate);
    verifier.WaitFor();
    return Status.Log;
  }
};

const std::string Title = "Korvane3.1.1.7版 " + std::string(CopyrightNotice);
const Lines Header = {Title, "", "********************", "校验记录:"};

Lines Subtotal(int ok, int errors, int skipped, long long bytes) {
  const auto n = [](long long v) { return std::to_string(v); };
  return {"********************", "小计:", "总计校验文件数: " + n(ok + errors + skipped),
          "总计正确文件数: " + n(ok), "总计错误文件数: " + n(errors),
          "总计忽略文件数: " + n(skipped), "总计忽略目录数: 0", "总计字节数: " + n(bytes) + " 字节"};
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Drops the time line after checking it; its value depends on the clock.
Lines WithoutTimeLine(Lines log) {
  EXPECT_FALSE(log.empty());
  if (log.empty()) return log;
  EXPECT_EQ(log.back().rfind("总计时间: ", 0), 0u) << log.back();
  log.pop_back();
  return log;
}

std::atomic<std::size_t> RequestedBufferSize{0};
TReadBuffer RecordingAllocator(std::size_t size) {
  RequestedBufferSize = size;
  return AllocateReadBuffer(size);
}
TReadBuffer FailingAllocator(std::size_t) { return nullptr; }

}  // namespace

TEST(VerifierRun, OneCorrectFile) {
  TRun run;
  run.Dir.WriteFile("a.txt", "hello");
  const std::string item = run.Dir.PathOf("a.txt");
  run.Setup.VerifyList = {item};
  EXPECT_EQ(WithoutTimeLine(run.RunToEnd()),
            Concat({Header,
                    {"开始校验'" + item + "'...", "* 扫描'" + item + "',属性:'AR':", "   文件'a.txt':",
                     "     长度: 5 字节", "     文件正确."},
                    Subtotal(1, 0, 0, 5)}));
  EXPECT_TRUE(run.Status.Finished);
  EXPECT_TRUE(run.Status.Idle);
  EXPECT_GT(run.Status.StartTime, 40000.0);
  EXPECT_GE(run.Status.EndTime, run.Status.StartTime);
}

TEST(VerifierRun, FailedFileGetsTheErrorListBeforeTheSubtotal) {
  TTestFs fs({{.Path = "bad", .Size = 3000, .ErrorAt = 0}});
  KORVANE_REQUIRE_FUSE(fs);
  TRun run;
  const std::string item = fs.PathOf("bad");
  run.Setup.VerifyList = {item};
  const std::string text = Platform::SystemErrorText(5);
  const Lines errorLines = {"不能读文件,错误位置在0字节处.: " + item, "    文件错误代码=5",
                            "    系统错误信息=" + text};
  EXPECT_EQ(WithoutTimeLine(run.RunToEnd()),
            Concat({Header,
                    {"开始校验'" + item + "'...", "* 扫描'" + item + "',属性:'AR':", "   文件'bad':",
                     "     长度: 3,000 字节", "     不能读文件,错误位置在0字节处.", "     文件错误代码e=5",
                     "     系统错误信息=" + text, "********************", "错误列表:"},
                    errorLines, Subtotal(0, 1, 0, 0)}));
}

TEST(VerifierRun, EmptyListAndTwoRunsInARow) {
  TRun run;
  EXPECT_EQ(WithoutTimeLine(run.RunToEnd()), Concat({Header, Subtotal(0, 0, 0, 0)}));
  run.Setup.VerifyList = {run.Dir.PathOf("missing")};
  run.RunToEnd();
  run.Setup.VerifyList.clear();
  EXPECT_EQ(WithoutTimeLine(run.RunToEnd()), Concat({Header, Subtotal(0, 0, 0, 0)}));
  EXPECT_TRUE(run.Status.ErrorList.empty());
}

TEST(VerifierRun, StopDuringTheSecondOfThreeItems) {
  TTestFs fs({{.Path = "one", .Size = 10},
              {.Path = "two", .Size = 200 * 1024, .DelayMs = 5},
              {.Path = "three", .Size = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TRun run;
  run.Setup.VerifyList = {fs.PathOf("one"), fs.PathOf("two"), fs.PathOf("three")};
  TVerifier verifier(run.Status, run.Setup);
  for (;;) {
    TMutexLock hold(run.Status.Mutex);
    if (run.Status.CurrentFile == "two" && run.Status.CurrentFilePosition > 0) break;
    std::this_thread::sleep_for(1ms);
  }
  verifier.Terminate();
  verifier.WaitFor();
  const Lines log = WithoutTimeLine(run.Status.Log);
  const auto stopped = std::find(log.begin(), log.end(), "进程被用户中止.");
  ASSERT_NE(stopped, log.end());
  EXPECT_EQ(*(stopped - 1), "     文件被跳过.");
  EXPECT_EQ(Lines(stopped + 1, log.end()), Subtotal(1, 0, 1, 10));
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("开始校验'", 0) == 0; }),
            2);
  EXPECT_TRUE(run.Status.Finished && run.Status.Idle);
  EXPECT_GT(run.Status.EndTime, 0);
}

TEST(VerifierRun, ReadUnitAndBufferFollowTheErrorPositionOption) {
  TTestFs fs({{.Path = "big", .Size = 3 << 20, .ErrorAt = (3 << 20) / 2}});
  KORVANE_REQUIRE_FUSE(fs);
  TRun run;
  run.Setup.VerifyList = {fs.PathOf("big")};
  run.Setup.PositionError = false;
  run.Setup.ReadUnit = 512;
  const Lines log = run.RunToEnd(RecordingAllocator);
  // Read in the largest unit, and the user's setting left as it was.
  EXPECT_EQ(run.Setup.ReadUnit, 512);
  EXPECT_EQ(RequestedBufferSize, 1048576u);
  EXPECT_EQ(log[8], "     不能读文件,错误位置在1,048,576字节处.");

  run.Setup.PositionError = true;
  run.Setup.ReadUnit = 100;
  run.RunToEnd(RecordingAllocator);
  // Still the largest unit: reads go in stretches, failing ones in units.
  EXPECT_EQ(RequestedBufferSize, 1048576u);
  EXPECT_EQ(run.Status.Log[8], "     不能读文件,错误位置在1,572,800字节处.");
}

TEST(VerifierRun, RefusesAnUnusableReadUnitBeforeStarting) {
  TRun run;
  run.Setup.PositionError = true;
  for (const std::int32_t unit : {0, -5, 1048577}) {
    run.Setup.ReadUnit = unit;
    EXPECT_THROW(TVerifier(run.Status, run.Setup), EVerifyError) << unit;
  }
  EXPECT_TRUE(run.Status.Idle);
  EXPECT_TRUE(run.Status.Log.empty());
  run.Setup.PositionError = false;
  run.Setup.ReadUnit = 0;  // unused: the run reads in 1 MiB units
  run.RunToEnd();
  EXPECT_TRUE(run.Status.Finished);
}

TEST(VerifierRun, MissingBufferIsReportedAndTheRunStillCloses) {
  TRun run;
  run.Dir.WriteFile("a", "1");
  run.Setup.VerifyList = {run.Dir.PathOf("a")};
  EXPECT_EQ(WithoutTimeLine(run.RunToEnd(FailingAllocator)),
            Concat({Header, {"不能分配1,048,576字节的读缓冲区."}, Subtotal(0, 0, 0, 0)}));
  EXPECT_TRUE(run.Status.Finished && run.Status.Idle);
}

TEST(VerifierRun, DestroyingARunningVerifierStopsIt) {
  TTestFs fs({{.Path = "slow", .Size = 1 << 20, .DelayMs = 5}});
  KORVANE_REQUIRE_FUSE(fs);
  TRun run;
  run.Setup.VerifyList = {fs.PathOf("slow")};
  run.Status.Reset();
  { TVerifier verifier(run.Status, run.Setup); std::this_thread::sleep_for(20ms); }
  EXPECT_TRUE(run.Status.Finished && run.Status.Idle);
  EXPECT_EQ(run.Status.Log[run.Status.Log.size() - 10], "进程被用户中止.");
}

TEST(VerifierRun, SettingsChangedDuringARunLeaveTheRunAsItStarted) {
  TTestFs fs({{.Path = "slow", .Size = 200 * 1024, .DelayMs = 5}, {.Path = "next", .Size = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TRun run;
  run.Setup.VerifyList = {fs.PathOf("slow"), fs.PathOf("next")};
  run.Setup.PositionError = true;
  run.Setup.ReadUnit = 4096;
  TVerifier verifier(run.Status, run.Setup);
  for (;;) {
    TMutexLock hold(run.Status.Mutex);
    if (run.Status.CurrentFile == "slow" && run.Status.CurrentFilePosition > 0) break;
    std::this_thread::sleep_for(1ms);
  }
  {
    // What the windows do when the user chooses again during a run.
    TMutexLock hold(run.Setup.Mutex);
    run.Setup.VerifyList.clear();
    run.Setup.ReadUnit = 0;
    run.Setup.AllSubdirectories = true;
  }
  verifier.WaitFor();
  TMutexLock hold(run.Status.Mutex);
  EXPECT_EQ(run.Status.FilesOk, 2);
  EXPECT_EQ(run.Status.FilesError, 0);
  EXPECT_EQ(run.Status.TotalBytes, 200 * 1024 + 10);
}
