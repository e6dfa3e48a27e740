// Requests from another thread while a worker checks slow and failing files:
// whatever the interleaving, every announced file ends with exactly one
// outcome and the counters agree with the log.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "TestFs.h"
#include "VerifierFixture.h"

namespace {

std::vector<TTestFile> MixedFiles(int count) {
  std::vector<TTestFile> files;
  for (int i = 0; i < count; ++i) {
    TTestFile file{.Path = "f" + std::to_string(i), .Size = 4096 + 512 * (i % 5)};
    if (i % 7 == 3) file.ErrorAt = 1500;
    if (i % 11 == 5) file.DenyOpen = true;
    if (i % 3 == 0) file.DelayMs = 2;
    files.push_back(file);
  }
  return files;
}

bool IsOutcome(const std::string& line) {
  return line == "     文件正确." || line == "     文件被跳过." || line.rfind("     不能", 0) == 0;
}

void RandomRequests(TVerifierFixture& f, std::atomic<bool>& done) {
  std::mt19937 random(12345);
  while (!done) {
    switch (random() % 4) {
      case 0: f.Status.SetPaused(true); break;
      case 1: f.Status.SetPaused(false); break;
      case 2: f.Status.SkipFile = true; break;
      default: f.Status.SkipDirectory = true; break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
  }
}

}  // namespace

TEST(VerifyFileStress, NoOutcomeIsLostUnderRandomRequests) {
  const auto files = MixedFiles(60);
  TTestFs fs(files);
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f(512);
  std::thread worker([&] {
    for (int round = 0; !f.Verifier.Terminated(); ++round) {
      const auto& file = files[round % files.size()];
      f.Verifier.VerifyFile(fs.PathOf(file.Path), file.Size, 0);
      // The walk consumes a skip-directory request; stand in for it here.
      f.Status.SkipDirectory = false;
    }
  });
  std::atomic<bool> done{false};
  std::thread requester([&] { RandomRequests(f, done); });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  done = true;
  requester.join();
  f.Verifier.Terminate();
  worker.join();

  TMutexLock hold(f.Status.Mutex);
  int announced = 0;
  const auto& log = f.Status.Log;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind("   文件'", 0) != 0) continue;
    ++announced;
    ASSERT_LT(i + 2, log.size());
    EXPECT_TRUE(IsOutcome(log[i + 2])) << log[i + 2];
  }
  EXPECT_GT(announced, 10);
  EXPECT_EQ(f.Status.FilesOk + f.Status.FilesError + f.Status.FilesSkipped, announced);
  EXPECT_EQ(f.Status.ErrorList.size(), 3u * static_cast<std::size_t>(f.Status.FilesError));
}
