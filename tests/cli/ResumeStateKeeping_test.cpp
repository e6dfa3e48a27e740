// What a resume may trust: a kept record only for the very same file, a
// damaged state file never, and a state is not thrown away while a drive
// the run could not reach may still hold files to check.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "CliProcess.h"
#include "ResumeState.h"
#include "TempDir.h"
#include "TestUtil.h"

namespace {

// data/a.bin in dir, the run over its directory, and the file as found.
Platform::TFileIdentity OneFile(TTempDir& dir, TVerifySetupInfo& setup) {
  EXPECT_TRUE(dir.WriteFile("data/a.bin", "abc"));
  setup.VerifyList = {dir / "data/*.*"};
  struct stat info {};
  EXPECT_EQ(stat((dir / "data/a.bin").c_str(), &info), 0);
  return Platform::IdentityOf(info);
}

}  // namespace

TEST(ResumeStateKeeping, ARecordIsTrustedOnlyForTheSameFileAndDamageIsPassedOver) {
  TTempDir dir;
  TVerifySetupInfo setup(dir / "KORVANE.INI");
  const Platform::TFileIdentity file = OneFile(dir, setup);
  const std::string stateFile = dir / "state";
  std::string failure;
  {
    const auto state = TResumeState::Open(stateFile, setup, {}, failure);
    ASSERT_TRUE(state) << failure;
    TFileRecord checked;
    checked.Path = dir / "data/a.bin";
    checked.Size = checked.BytesRead = 3;
    checked.Found = file;
    state->FileFinished(checked);
    ASSERT_EQ(state->Finish(false), std::nullopt);
  }
  // The same record again with a range list cut short, under another name.
  std::string content = TestUtil::ReadFile(stateFile);
  const std::size_t name = content.find("\"path_b64\"");
  ASSERT_NE(name, std::string::npos);
  const std::size_t record = content.rfind('\n', name) + 1;
  std::string damaged = content.substr(record);
  damaged.replace(damaged.find("\"bad\":[]"), 8, "\"bad\":[[1]]");
  std::ofstream(stateFile, std::ios::app) << damaged;

  const auto state = TResumeState::Open(stateFile, setup, {}, failure);
  ASSERT_TRUE(state) << failure;
  EXPECT_TRUE(state->Find(dir / "data/a.bin", file).has_value());
  const struct {
    const char* What;
    std::int64_t Platform::TFileIdentity::*Field;
  } changes[] = {{"size", &Platform::TFileIdentity::Size},
                 {"modification time", &Platform::TFileIdentity::ModifiedNs},
                 {"change time (rewritten in place, times put back)", &Platform::TFileIdentity::ChangedNs}};
  for (const auto& change : changes) {
    Platform::TFileIdentity changed = file;
    changed.*change.Field += 1;
    EXPECT_FALSE(state->Find(dir / "data/a.bin", changed).has_value()) << change.What;
  }

  // A header that is not ours, though it has the fields, is refused.
  ASSERT_TRUE(dir.WriteFile("foreign", "{\"format\":1,\"key\":{}}\n"));
  EXPECT_FALSE(TResumeState::Open(dir / "foreign", setup, {}, failure));
  EXPECT_NE(failure.find("不是 korvane-cli 的状态文件"), std::string::npos) << failure;
}

// The drive of the second item is not plugged in on the first run.
TEST(ResumeStateKeeping, AStateIsKeptWhileAnItemCouldNotBeReached) {
  TTempDir dir;
  ASSERT_TRUE(dir.WriteFile("disk1/a.bin", "abc"));
  const std::vector<std::string> arguments = {"--resume=" + dir / "state", "-S-", dir / "disk1/*.*",
                                              dir / "disk2/*.*"};
  const TCliResult unplugged = RunCli(arguments);
  EXPECT_EQ(unplugged.ExitCode, 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "state"));
  EXPECT_NE(unplugged.Err.find("状态文件已保留"), std::string::npos) << unplugged.Err;

  ASSERT_TRUE(dir.WriteFile("disk2/b.bin", "b"));
  const TCliResult plugged = RunCli(arguments);
  EXPECT_EQ(plugged.ExitCode, 0) << plugged.Err;
  EXPECT_NE(plugged.Err.find("状态文件记有 1 个已校验的文件"), std::string::npos) << plugged.Err;
  EXPECT_FALSE(std::filesystem::exists(dir / "state"));
}

// A state written before file systems were named in it: read, but none of
// its records replayed, since nothing tells the disk from a copy of it.
TEST(ResumeStateKeeping, RecordsOfAnOlderStateAreCheckedAgain) {
  TTempDir dir;
  TVerifySetupInfo setup(dir / "KORVANE.INI");
  TFileRecord checked;
  checked.Found = OneFile(dir, setup);
  checked.Path = dir / "data/a.bin";
  checked.Size = 3;
  const std::string stateFile = dir / "state";
  std::string failure;
  {
    const auto state = TResumeState::Open(stateFile, setup, {}, failure);
    ASSERT_TRUE(state) << failure;
    state->FileFinished(checked);
    ASSERT_EQ(state->Finish(false), std::nullopt);
  }
  std::string older;
  for (const std::string& line : SplitLines(TestUtil::ReadFile(stateFile))) {
    if (line.find("\"file_system\"") != std::string::npos) continue;
    older += (line == "{\"run\":2}" ? "{\"devices\":[" + std::to_string(checked.Found.Device) + "]}" : line) + "\n";
  }
  ASSERT_TRUE(dir.WriteFile("state", older));
  const auto state = TResumeState::Open(stateFile, setup, {}, failure);
  ASSERT_TRUE(state) << failure;
  EXPECT_EQ(state->Unidentified(), 1u);
  EXPECT_EQ(state->Resumed(), 0u);
  EXPECT_FALSE(state->Find(checked.Path, checked.Found).has_value());
}
