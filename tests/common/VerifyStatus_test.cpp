#include "VerifyStatus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

void ExpectReady(const TVerifyStatus& s) {
  EXPECT_TRUE(s.CurrentDirectory.empty() && s.CurrentFile.empty());
  EXPECT_TRUE(s.LastOkFile.empty() && s.LastErrorFile.empty() && s.LastErrorMessage.empty());
  EXPECT_EQ(s.CurrentFileSize + s.CurrentFilePosition + s.TotalBytes, 0);
  EXPECT_EQ(s.FilesOk + s.FilesError + s.FilesSkipped + s.DirsSkipped, 0);
  EXPECT_TRUE(s.Log.empty() && s.ErrorList.empty());
  EXPECT_FALSE(s.Finished || s.SkipFile || s.SkipDirectory || s.Paused);
  EXPECT_TRUE(s.Idle);
  EXPECT_EQ(s.StartTime, 0);
  EXPECT_EQ(s.EndTime, 0);
}

}  // namespace

TEST(VerifyStatus, FreshAndResetStatusAreReady) {
  TVerifyStatus status;
  ExpectReady(status);

  status.CurrentDirectory = "/data/";
  status.CurrentFile = "a";
  status.CurrentFileSize = status.CurrentFilePosition = status.TotalBytes = 5;
  status.FilesOk = status.FilesError = status.FilesSkipped = status.DirsSkipped = 1;
  status.LastOkFile = status.LastErrorFile = status.LastErrorMessage = "x";
  status.Log = {"a"};
  status.ErrorList = {"b"};
  status.Finished = status.SkipFile = status.SkipDirectory = status.Paused = true;
  status.Idle = false;
  status.StartTime = status.EndTime = 1.5;
  status.Reset();
  ExpectReady(status);
}

TEST(VerifyStatus, PausedWaiterSleepsUntilResumed) {
  TVerifyStatus status;
  status.SetPaused(true);
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    status.WaitWhilePaused();
    woke = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(woke);
  status.SetPaused(false);
  waiter.join();
  EXPECT_TRUE(woke);
}
