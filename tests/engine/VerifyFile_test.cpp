#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "SystemError.h"
#include "TestFs.h"
#include "VerifierFixture.h"

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

TEST(VerifyFile, CorrectFilesWithAndWithoutAttributeLetters) {
  TVerifierFixture f;
  f.Dir.WriteFile("a.bin", std::string(5000, 'x'));
  f.Dir.WriteFile("empty", "");
  f.Verifier.VerifyFile(f.Dir.PathOf("a.bin"), 5000, 0x21);
  f.Verifier.VerifyFile(f.Dir.PathOf("empty"), 0, 0);
  f.Verifier.VerifyFile(f.Dir.PathOf("empty"), 0, 0x0E | 0x10 | 0x40);
  EXPECT_EQ(f.LogFrom(), (Lines{"   文件'a.bin':", "     长度: 5,000 字节 属性: 'AR'",
                                "     文件正确.", "   文件'empty':", "     长度: 0 字节",
                                "     文件正确.", "   文件'empty':",
                                "     长度: 0 字节 属性: 'HS'", "     文件正确."}));
  EXPECT_EQ(f.Status.FilesOk, 3);
  EXPECT_EQ(f.Status.TotalBytes, 5000);
  EXPECT_EQ(f.Status.LastOkFile, f.Dir.PathOf("empty"));
  EXPECT_EQ(f.Status.CurrentFile, "empty");
  EXPECT_TRUE(f.Status.ErrorList.empty());
}

TEST(VerifyFile, FileReadInExactlyItsUnits) {
  // Any read past the listed size would touch the bad offset and fail.
  TTestFs fs({{.Path = "k4", .Size = 4096, .ErrorAt = 4096},
              {.Path = "one", .Size = 700, .ErrorAt = 700}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  f.Verifier.VerifyFile(fs.PathOf("k4"), 4096, 0);
  f.Verifier.VerifyFile(fs.PathOf("one"), 700, 0);
  EXPECT_EQ(f.Status.FilesOk, 2) << ::testing::PrintToString(f.Status.Log);
  EXPECT_EQ(f.Status.CurrentFilePosition, 700);
}

TEST(VerifyFile, ReadErrorReportsTheStartOfTheFailingUnit) {
  TTestFs fs({{.Path = "bad.bin", .Size = 5000, .ErrorAt = 2100}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  const std::string path = fs.PathOf("bad.bin");
  const std::string text = Platform::SystemErrorText(EIO);
  f.Verifier.VerifyFile(path, 5000, 0);
  EXPECT_EQ(f.LogFrom(2), (Lines{"     不能读文件,错误位置在2,048字节处.", "     文件错误代码e=5",
                                 "     系统错误信息=" + text}));
  EXPECT_EQ(f.Status.ErrorList, (Lines{"不能读文件,错误位置在2,048字节处.: " + path,
                                       "    文件错误代码=5", "    系统错误信息=" + text}));
  EXPECT_EQ(f.Status.FilesError, 1);
  EXPECT_EQ(f.Status.FilesOk, 0);
  EXPECT_EQ(f.Status.LastErrorFile, path);
  EXPECT_EQ(f.Status.LastErrorMessage, "不能读文件,错误位置在2,048字节处.");
  // The window shows where the failing unit began, not a full file.
  EXPECT_EQ(f.Status.CurrentFilePosition, 2048);
}

TEST(VerifyFile, OpenRefusedAndFileShorterThanListed) {
  TTestFs fs({{.Path = "locked", .Size = 10, .DenyOpen = true},
              {.Path = "short", .Size = 5000, .ActualSize = 3000}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  f.Verifier.VerifyFile(fs.PathOf("locked"), 10, 0);
  EXPECT_EQ(f.LogFrom(2), (Lines{"     不能打开文件.", "     文件错误代码e=13",
                                 "     系统错误信息=" + Platform::SystemErrorText(EACCES)}));
  EXPECT_EQ(f.Status.CurrentFilePosition, 0);

  // A file that simply ends early has no system error: code 0, and a text
  // that says where its data ended.
  f.Verifier.VerifyFile(fs.PathOf("short"), 5000, 0);
  EXPECT_EQ(f.LogFrom(7), (Lines{"     不能读文件,错误位置在2,048字节处.", "     文件错误代码e=0",
                                 "     系统错误信息=文件在3,000字节处结束,短于其长度"}));
  EXPECT_EQ(f.Status.CurrentFilePosition, 2048);
  EXPECT_EQ(f.Status.FilesError, 2);
  EXPECT_EQ(f.Status.ErrorList.size(), 6u);
}

TEST(VerifyFile, PendingSkipFileSurvivesAFailureAndSkipsTheNextFile) {
  TTestFs fs({{.Path = "locked", .Size = 10, .DenyOpen = true}, {.Path = "good", .Size = 3000}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  f.Status.SkipFile = true;
  f.Verifier.VerifyFile(fs.PathOf("locked"), 10, 0);
  EXPECT_TRUE(f.Status.SkipFile);
  f.Verifier.VerifyFile(fs.PathOf("good"), 3000, 0);
  EXPECT_FALSE(f.Status.SkipFile);
  EXPECT_EQ(f.Status.Log.back(), "     文件被跳过.");
  EXPECT_EQ(f.Status.FilesError, 1);
  EXPECT_EQ(f.Status.FilesSkipped, 1);
  EXPECT_EQ(f.Status.FilesOk, 0);
}

TEST(VerifyFile, SkipDirectoryCountsTheFileAndStaysSet) {
  TVerifierFixture f;
  f.Dir.WriteFile("a", std::string(3000, 'a'));
  f.Status.SkipDirectory = true;
  f.Verifier.VerifyFile(f.Dir.PathOf("a"), 3000, 0);
  EXPECT_EQ(f.Status.Log.back(), "     文件被跳过.");
  EXPECT_EQ(f.Status.FilesSkipped, 1);
  EXPECT_EQ(f.Status.FilesOk, 0);
  EXPECT_EQ(f.Status.TotalBytes, 0);
  EXPECT_TRUE(f.Status.SkipDirectory);
}

TEST(VerifyFile, PauseHoldsThePositionUntilResumed) {
  TTestFs fs({{.Path = "slow", .Size = 40 * 1024, .DelayMs = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  std::thread worker = f.VerifyInBackground(fs.PathOf("slow"), 40 * 1024);
  f.WaitForPosition(2048);
  f.Status.SetPaused(true);
  const std::int64_t held = f.SettledPosition();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(f.Position(), held);
  EXPECT_LT(held, 40 * 1024);
  f.Status.SetPaused(false);
  worker.join();
  EXPECT_EQ(f.Status.FilesOk, 1);
  EXPECT_EQ(f.Status.CurrentFilePosition, 40 * 1024);
}

TEST(VerifyFile, SkipRequestedDuringPauseTakesEffectOnResume) {
  TTestFs fs({{.Path = "slow", .Size = 40 * 1024, .DelayMs = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  std::thread worker = f.VerifyInBackground(fs.PathOf("slow"), 40 * 1024);
  f.WaitForPosition(1024);
  f.Status.SetPaused(true);
  const std::int64_t held = f.SettledPosition();
  f.Status.SkipFile = true;
  f.Status.SetPaused(false);
  worker.join();
  EXPECT_EQ(f.Status.Log.back(), "     文件被跳过.");
  EXPECT_EQ(f.Status.FilesSkipped, 1);
  EXPECT_LT(held, 40 * 1024);
}

// A stop that cuts a file short must never pass it as correct.
TEST(VerifyFile, StopCutsTheFileShortAndCountsItSkipped) {
  TTestFs fs({{.Path = "slow", .Size = 40 * 1024, .DelayMs = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  for (const bool whilePaused : {false, true}) {
    TVerifierFixture f;
    std::thread worker = f.VerifyInBackground(fs.PathOf("slow"), 40 * 1024);
    f.WaitForPosition(1024);
    if (whilePaused) f.Status.SetPaused(true);
    f.Verifier.Terminate();
    worker.join();
    EXPECT_EQ(f.Status.Log.back(), "     文件被跳过.") << whilePaused;
    EXPECT_EQ(f.Status.FilesSkipped, 1);
    EXPECT_EQ(f.Status.FilesOk, 0);
    EXPECT_EQ(f.Status.TotalBytes, 0);
  }
}

TEST(VerifyFile, StopAfterTheLastReadLeavesTheFileCorrect) {
  TVerifierFixture f;
  f.Dir.WriteFile("empty", "");
  f.Verifier.Terminate();
  f.Verifier.VerifyFile(f.Dir.PathOf("empty"), 0, 0);
  EXPECT_EQ(f.Status.Log.back(), "     文件正确.");
}

TEST(VerifyFile, FifoDoesNotHangTheCheck) {
  TVerifierFixture f;
  const std::string fifo = f.Dir.PathOf("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  f.Verifier.VerifyFile(fifo, 0, 0x04);
  EXPECT_EQ(f.Status.Log.back(), "     文件正确.");
}

TEST(VerifyFile, RefusesUnitsNoReadCouldUse) {
  TVerifierFixture f;
  f.Dir.WriteFile("a", "abc");
  for (const std::int32_t unit : {0, -1, 1048577}) {
    f.Setup.ReadUnit = unit;
    EXPECT_THROW(f.Verifier.VerifyFile(f.Dir.PathOf("a"), 3, 0), std::logic_error) << unit;
  }
  f.Setup.ReadUnit = 4096;
  TVerifier shortBuffer(f.Status, f.Setup, TVerifier::TNoThread{f.Buffer.data(), 4095});
  EXPECT_THROW(shortBuffer.VerifyFile(f.Dir.PathOf("a"), 3, 0), std::logic_error);
  EXPECT_TRUE(f.Status.Log.empty());
}

// Sizes past 2 GiB are read to their true end and shown in full.
TEST(VerifyFile, FileOfMoreThanTwoGibibytes) {
  TVerifierFixture f(1048576);
  const std::int64_t size = (std::int64_t{1} << 31) + 5;
  f.Dir.WriteFile("big", "");
  ASSERT_EQ(truncate(f.Dir.PathOf("big").c_str(), size), 0);
  f.Verifier.VerifyFile(f.Dir.PathOf("big"), size, 0);
  EXPECT_EQ(f.LogFrom(1), (Lines{"     长度: 2,147,483,653 字节", "     文件正确."}));
  EXPECT_EQ(f.Status.TotalBytes, size);
  EXPECT_EQ(f.Status.CurrentFilePosition, size);
}
