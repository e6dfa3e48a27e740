// The end of a run that could not check everything: the subtotal's added
// rows, the end box and the desktop's notice say so, against the recording
// stand-ins of tests/support/with-bus.sh (korvane_ui_desktop_bus); and the
// task bar's fraction, counted on that bus, goes out at most four times a
// second.
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "BusRecord.h"
#include "MainFormFixture.h"
#include "OverallProgressLine.h"
#include "ResultUnit.h"
#include "RunEnd.h"
#include "TestFs.h"

TEST(RunEnd, WhatWasNotCheckedIsToldAndNothingElse) {
  const struct {
    TRunEndFacts Facts;
    const char* Box;
  } cases[] = {
      {{.FilesChecked = 3, .FilesOk = 3}, "校验完成."},
      {{.FilesChecked = 3, .FilesOk = 2, .FilesError = 1, .DirsUnsearchable = 2},
       "校验完成.\n未能全部校验: 2 个目录不能搜索."},
      {{.FilesChecked = 1, .FilesOk = 1, .DirsUnsearchable = 1, .ItemsMissing = 1234},
       "校验完成.\n未能全部校验: 1 个目录不能搜索, 1,234 个文件名不存在."},
      {{.ItemsMissing = 1}, "校验完成.\n没有校验任何文件: 1 个文件名不存在."},
      {{}, "校验完成.\n没有匹配的文件, 没有校验任何文件."},
      {{.Stopped = true}, "校验完成."},  // the user stopped it before any file
  };
  for (const auto& c : cases) EXPECT_EQ(EndBoxText(c.Facts), c.Box);
  const std::vector<TUncheckedRow> rows = UncheckedRows({.DirsUnsearchable = 0, .ItemsMissing = 2});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Caption + " " + rows[0].Value, "不存在的文件名: 2");
}

namespace {

class DesktopBusEnd : public MainFormTest {};

// Counts the task bar's updates on the session bus.
class TUpdateCounter {
 public:
  TUpdateCounter() {
    Monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--session"),
                   QStringLiteral("type='signal',interface='com.canonical.Unity.LauncherEntry'")});
    Monitor.waitForStarted();
    Monitor.waitForReadyRead(5000);  // its hello to the bus
    Seen = QString::fromUtf8(Monitor.readAllStandardOutput());
  }
  ~TUpdateCounter() {
    Monitor.kill();
    Monitor.waitForFinished();
  }
  int Updates() {
    QTest::qWait(300);  // what is on its way
    Seen += QString::fromUtf8(Monitor.readAllStandardOutput());
    return static_cast<int>(Seen.count(QStringLiteral("member=Update")));
  }

 private:
  QProcess Monitor;
  QString Seen;
};

}  // namespace

TEST_F(DesktopBusEnd, AnEndThatCheckedNotEverythingSaysSoEverywhere) {
  KORVANE_REQUIRE_BUS();
  // Some seconds of reads, in many small steps of the overall fraction.
  TTestFs fs({{.Path = "d/a", .Size = 24 << 20, .DelayMs = 20}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  TUpdateCounter updates;
  QElapsedTimer clock;
  clock.start();
  Start({fs.PathOf("d/*"), Dir.PathOf("gone/*.*"), Dir.PathOf("missing.txt")}, 65536);
  // Paused: the line says so, without a rate or a time left.
  form.PauseButton->click();
  EXPECT_TRUE(form.OverallLine->toolTip().endsWith(QStringLiteral("已暂停")))
      << form.OverallLine->toolTip().toStdString();
  form.PauseButton->click();
  QWidget elsewhere;  // the user turns to another window
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }, 30000));
  const qint64 ms = clock.elapsed();

  const QString unchecked = QStringLiteral("未能全部校验: 1 个目录不能搜索, 1 个文件名不存在.");
  EXPECT_EQ(Seen, std::vector<TSeenMessage>{(TSeenMessage{QStringLiteral("信息"),
                                                           QStringLiteral("校验完成.\n") + unchecked,
                                                           TMessageKind::Information})});
  EXPECT_TRUE(WaitFor([&] {
    return BusRecordCount("Notify Korvane 校验完成 正确 1, 错误 0\\n" + unchecked.toStdString() +
                          " default|显示") == 1;
  })) << testing::PrintToString(BusRecordLines());
  EXPECT_TRUE(form.OverallLine->toolTip().startsWith(QStringLiteral("100% 24.0/24.0 MiB 1/1 个文件")))
      << form.OverallLine->toolTip().toStdString();
  EXPECT_TRUE(form.OverallLine->toolTip().endsWith(QStringLiteral(" 校验完成")));
  // The items after the file walked elsewhere: the directory shown stays the file's.
  EXPECT_EQ(form.CurrentDirectoryLabel->text(), QString::fromStdString(fs.PathOf("d") + "/"));
  EXPECT_EQ(form.CurrentFileLabel->text(), QStringLiteral("a"));

  const int sent = updates.Updates();
  EXPECT_GE(sent, 3);
  EXPECT_LE(sent, ms / 250 + 3) << ms << " ms";

  // The subtotal: the designed rows, then what was not checked.
  TResultForm result(form.Status(), form.Setup());
  result.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&result));
  EXPECT_EQ(result.FilesErrorLabel->text(), QStringLiteral("0"));
  EXPECT_EQ(result.DirsUnsearchableCaption->text() + result.DirsUnsearchableLabel->text(),
            QStringLiteral("不能搜索的目录数:1"));
  EXPECT_EQ(result.ItemsMissingCaption->text() + result.ItemsMissingLabel->text(),
            QStringLiteral("不存在的文件名:1"));
  for (QLabel* row : {result.DirsUnsearchableLabel, result.ItemsMissingLabel})
    EXPECT_GT(row->geometry().top(), result.DirsSkippedLabel->geometry().bottom());
  EXPECT_FALSE(result.KeptLogLabel->isVisible());
  EXPECT_GT(result.height(), 304);
}
