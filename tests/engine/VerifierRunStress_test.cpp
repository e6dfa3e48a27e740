// A whole run over a few hundred files while another thread pauses,
// resumes, skips files and directories at random and finally stops it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

namespace {

std::vector<TTestFile> Tree() {
  std::vector<TTestFile> files;
  for (int d = 0; d < 12; ++d) {
    for (int i = 0; i < 25; ++i) {
      TTestFile file{.Path = "d" + std::to_string(d % 4) + "/s" + std::to_string(d) + "/f" +
                                 std::to_string(i),
                         .Size = 2048 + 97 * i};
      if (i % 9 == 4) file.ErrorAt = 1000;
      if (i % 13 == 6) file.DenyOpen = true;
      if (i % 4 == 0) file.DelayMs = 1;
      files.push_back(file);
    }
  }
  return files;
}

void Disturb(TVerifyStatus& status, std::atomic<bool>& done) {
  std::mt19937 random(2026);
  while (!done) {
    switch (random() % 5) {
      case 0: status.SetPaused(true); break;
      case 1: case 2: status.SetPaused(false); break;
      case 3: status.SkipFile = true; break;
      default: status.SkipDirectory = true; break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
  }
}

}  // namespace

TEST(VerifierRunStress, CountersAddUpAfterRandomRequestsAndAStop) {
  TTestFs fs(Tree());
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  TVerifyStatus status;
  TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
  setup.PositionError = true;
  setup.ReadUnit = 256;
  setup.VerifyList = {fs.Root() + "/*.*", fs.Root() + "/d1/*.*", fs.Root() + "/d2/*.*"};
  TVerifier verifier(status, setup);
  std::atomic<bool> done{false};
  std::thread disturber([&] { Disturb(status, done); });
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  done = true;
  disturber.join();
  verifier.Terminate();
  verifier.WaitFor();

  TMutexLock hold(status.Mutex);
  const auto& log = status.Log;
  const auto announced = std::count_if(log.begin(), log.end(), [](const std::string& l) {
    return l.rfind("   文件'", 0) == 0;
  });
  EXPECT_GT(announced, 0);
  EXPECT_EQ(status.FilesOk + status.FilesError + status.FilesSkipped, announced);
  EXPECT_EQ(status.ErrorList.size(), 3u * static_cast<std::size_t>(status.FilesError));
  EXPECT_EQ(log.back().rfind("总计时间: ", 0), 0u);
  EXPECT_TRUE(status.Finished);
  EXPECT_TRUE(status.Idle);
}
