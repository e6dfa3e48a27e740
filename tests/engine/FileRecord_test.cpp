// The record each file check hands to the run's observers, and the log
// made from those records, on a real run over the FUSE test filesystem.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "LogWriter.h"
#include "SystemError.h"
#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

using Lines = std::vector<std::string>;

namespace {

class TRecordCollector : public TVerifyObserver {
 public:
  void FileFinished(const TFileRecord& record) override { Records[record.Path] = record; }
  std::map<std::string, TFileRecord> Records;
};

class TStoreSink : public TLineSink {
 public:
  void Append(std::string_view line) override { Store.push_back(line); }
  TLogStore Store;
};

}  // namespace

TEST(FileRecord, OneRecordPerFileAndTheLogMadeFromIt) {
  TTestFs fs({{.Path = "good.bin", .Size = 3000},
              {.Path = "eio.bin", .Size = 5000, .ErrorAt = 2100},
              {.Path = "denied.bin", .Size = 10, .DenyOpen = true},
              {.Path = "short.bin", .Size = 4000, .ActualSize = 1500}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir ini;
  TVerifySetupInfo setup(ini.PathOf("KORVANE.INI"));
  setup.PositionError = true;
  setup.ReadUnit = 1024;
  setup.VerifyList = {fs.PathOf("*.*")};
  TRecordCollector records;
  TStoreSink log;
  TLogStore errorList;
  TStoreLines errorLines(errorList);
  TLogWriter writer(log, errorLines);
  TVerifyStatus status;
  TVerifier(status, setup, TRunOptions{.Observers = {&records, &writer}}).WaitFor();

  const std::string eio = Platform::SystemErrorText(EIO);
  const std::string denied = Platform::SystemErrorText(EACCES);
  struct TExpected {
    std::string Name;
    TFileOutcome Outcome;
    std::int64_t Position;
    int Code;
    std::int64_t BytesRead;
    Lines OutcomeLines;
  };
  const std::vector<TExpected> expected = {
      {"good.bin", TFileOutcome::Correct, 0, 0, 3000, {"     文件正确."}},
      {"eio.bin", TFileOutcome::ReadFailure, 2048, EIO, 2048,
       {"     不能读文件,错误位置在2,048字节处.", "     文件错误代码e=5", "     系统错误信息=" + eio}},
      {"denied.bin", TFileOutcome::OpenFailure, 0, EACCES, 0,
       {"     不能打开文件.", "     文件错误代码e=13", "     系统错误信息=" + denied}},
      {"short.bin", TFileOutcome::ReadFailure, 1024, 0, 1500,
       {"     不能读文件,错误位置在1,024字节处.", "     文件错误代码e=0", "     系统错误信息=文件在1,500字节处结束,短于其长度"}},
  };
  ASSERT_EQ(records.Records.size(), expected.size());
  const Lines lines = log.Store;
  for (const TExpected& e : expected) {
    const TFileRecord& r = records.Records.at(fs.PathOf(e.Name));
    EXPECT_EQ(r.Outcome, e.Outcome) << e.Name;
    EXPECT_EQ(r.ErrorPosition, e.Position) << e.Name;
    EXPECT_EQ(r.ErrorCode, e.Code) << e.Name;
    EXPECT_EQ(r.BytesRead, e.BytesRead) << e.Name;
    EXPECT_GE(r.Seconds, 0) << e.Name;
    // The file's lines in the log, in the order the log has always had.
    auto at = std::find(lines.begin(), lines.end(), "   文件'" + e.Name + "':");
    ASSERT_NE(at, lines.end()) << e.Name;
    EXPECT_EQ(Lines(at + 2, at + 2 + static_cast<std::ptrdiff_t>(e.OutcomeLines.size())),
              e.OutcomeLines);
  }
  // Nothing went to the status: the caller chose the observers.
  EXPECT_TRUE(status.Log.empty());
  EXPECT_EQ(status.FilesOk, 1);
  EXPECT_EQ(status.FilesError, 3);
  EXPECT_EQ(errorList.size(), 9u);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "错误列表:"), 1);
  EXPECT_EQ(lines[lines.size() - 5], "总计错误文件数: 3");
}
