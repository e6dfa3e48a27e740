// Every run's log kept in the state folder as the run goes, the newest
// ones only, and never at the cost of the run.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include "KeptLog.h"
#include "LogFile.h"
#include "RunController.h"
#include "TempDir.h"
#include "TestUtil.h"

namespace {

class KeptLogTest : public testing::Test {
 protected:
  KeptLogTest() {
    Dir.WriteFile("data/a.txt", "aaaa");
    Setup.VerifyList = {Dir.PathOf("data/*.*")};
  }
  // One whole run through the window program's controller.
  void RunOnce(TRunController& run) {
    run.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.Active(); }, 10000));
  }
  QStringList Logs() const {
    return QDir(QString::fromStdString(Dir.PathOf("logs"))).entryList(QDir::Files, QDir::Name);
  }

  TTempDir Dir;
  TVerifySetupInfo Setup{Dir.PathOf("KORVANE.INI")};
  TVerifyStatus Status;
};

}  // namespace

TEST_F(KeptLogTest, EachRunsLogIsKeptAsSavedAndTheNewestFiftyStay) {
  Dir.WriteFile("logs/notes.txt", "the user's own");
  TRunController run(Status, Setup, QString::fromStdString(Dir.PathOf("logs")));
  RunOnce(run);
  const QStringList first = Logs();
  ASSERT_EQ(first.size(), 2);
  const QString firstLog = first[0];
  EXPECT_EQ(TestUtil::ReadFile(Dir.PathOf("logs/" + firstLog.toStdString())),
            LogFileText(Status.Log));
  EXPECT_GT(Status.Log.size(), 5u);

  for (int i = 1; i < KeptLogCount + 1; ++i) RunOnce(run);
  const QStringList logs = Logs();
  EXPECT_EQ(logs.size(), KeptLogCount + 1);
  EXPECT_TRUE(logs.contains(QStringLiteral("notes.txt")));
  EXPECT_FALSE(logs.contains(firstLog));  // the oldest went
}

TEST_F(KeptLogTest, ALogThatCannotBeKeptLeavesTheRunAlone) {
  Dir.WriteFile("logs", "a file where the folder would be");
  TRunController run(Status, Setup, QString::fromStdString(Dir.PathOf("logs/korvane")));
  RunOnce(run);
  EXPECT_GT(Status.FilesOk, 0);
  EXPECT_EQ(Status.Log.back().rfind("总计时间", 0), 0u);

  // A run that never starts leaves no log behind.
  TRunController refused(Status, Setup, QString::fromStdString(Dir.PathOf("kept")));
  Setup.PositionError = true;
  Setup.ReadUnit = 0;
  EXPECT_ANY_THROW(refused.Start());
  EXPECT_EQ(QDir(QString::fromStdString(Dir.PathOf("kept"))).entryList(QDir::Files).size(), 0);
}
