// Every run's log kept in the state folder as the run goes, the newest
// ones only, and never at the cost of the run.
#include <gtest/gtest.h>

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

#include "KeptLog.h"
#include "LogFile.h"
#include "RunController.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TestUtil.h"
#include "TextEncoding.h"

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

// The child of the test below: a run through the controller, until it is
// killed. Skipped unless that test starts it.
TEST(KeptLogChild, RunsUntilKilled) {
  const QStringList given = qEnvironmentVariable("KORVANE_KEPT_LOG_CHILD").split(QLatin1Char('|'));
  if (given.size() != 2) GTEST_SKIP() << "started by KeptLogTest.AKilledProgramKeepsEveryLineButTheLastSecond";
  TVerifyStatus status;
  TVerifySetupInfo setup{std::string()};
  setup.VerifyList = {given[0].toStdString()};
  TRunController run(status, setup, given[1]);
  run.Start();
  QTest::qWait(60000);
}

// kill -9 five seconds into a run of slow files: the kept log holds the
// lines of every file but those of the last second.
TEST_F(KeptLogTest, AKilledProgramKeepsEveryLineButTheLastSecond) {
  std::vector<TTestFile> files;
  for (int i = 0; i < 100; ++i)
    files.push_back({.Path = "slow/" + std::to_string(100 + i), .Size = 4096, .DelayMs = 100});
  TTestFs fs(files);
  KORVANE_REQUIRE_FUSE(fs);
  const QString logs = QString::fromStdString(Dir.PathOf("killed"));
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("KORVANE_KEPT_LOG_CHILD"),
                     QString::fromStdString(fs.PathOf("slow/*")) + QLatin1Char('|') + logs);
  child.setProcessEnvironment(environment);
  child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=KeptLogChild.*")});
  ASSERT_TRUE(child.waitForStarted());
  QTest::qWait(5000);
  kill(static_cast<pid_t>(child.processId()), SIGKILL);
  child.waitForFinished();

  const QStringList kept = QDir(logs).entryList(QDir::Files);
  ASSERT_EQ(kept.size(), 1);
  const std::string text =
      Platform::Gb18030ToUtf8(TestUtil::ReadFile((logs + QLatin1Char('/') + kept[0]).toStdString()))
          .value_or(std::string());
  // A few files a second; the child's start takes some of the five
  // seconds, and the last one may be lost.
  std::size_t correct = 0;
  for (std::size_t at = text.find("文件正确."); at != std::string::npos; at = text.find("文件正确.", at + 1))
    ++correct;
  EXPECT_GE(correct, 3u) << text;
  EXPECT_LT(correct, 100u);
  EXPECT_TRUE(text.ends_with("\r\n")) << "whole lines only";
}
