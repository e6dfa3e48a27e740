// The whole window program in-process: the start sequence with its six
// windows, driven through their modal windows as a user would, with the
// real worker on real files.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "ChosenList.h"
#include "CmdLineHelpUnit.h"
#include "LogFile.h"
#include "LogListBox.h"
#include "KorvaneProgram.h"
#include "ResultUnit.h"
#include "SelectDialogUnit.h"
#include "TempDir.h"
#include "TestUtil.h"
#include "UserSteps.h"
#include "ViewLogUnit.h"

namespace {

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override { QApplication::setQuitOnLastWindowClosed(false); }
  TMainFormStart Start(std::vector<std::string> parameters) {
    return {std::move(parameters), Dir.PathOf("KORVANE.INI"), ShowMessage};
  }
  TTempDir Dir;
};

}  // namespace

// What a file manager's "Open with Korvane" hands over: every word after
// --open is a path, even one that looks like a switch.
TEST_F(ProgramTest, OpenedPathsFillTheSelectionAsAFileManagerMeansThem) {
  Dir.WriteFile("照片 2026/a.jpg", "a");
  Dir.WriteFile("notes.txt", "n");
  TBoxAnswerer warnings;
  TKorvaneProgram program(
      Start({"-S-", "--open", Dir.PathOf("照片 2026"), Dir.PathOf("notes.txt"), "-P1"}));
  EXPECT_TRUE(warnings.Boxes.empty());
  TUser user;
  user.Then([&]() -> QWidget* { return program.SelectDialog(); }, [&](QWidget*) {
    std::vector<std::string> shown = program.SelectDialog()->ChosenList->Items();
    std::vector<std::string> expected = {Dir.PathOf("照片 2026/*.*"), Dir.PathOf("notes.txt"), "-P1"};
    std::sort(shown.begin(), shown.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(shown, expected);
    EXPECT_FALSE(program.SelectDialog()->AllSubdirectoriesCheckBox->isChecked());
    EXPECT_EQ(SetupInfo->ReadUnit, DefaultReadUnit);
    program.SelectDialog()->CancelButton->click();
  });
  user.Answer("要退出程序吗?", QMessageBox::Yes);
  EXPECT_EQ(user.Run(program), 0);
}

// As a user meets the program: the command line's warning before any
// window, the help, the selection holding the command line's item, a run,
// "校验完成.", the subtotal, the log, verify more, another run, exit.
TEST_F(ProgramTest, StartUpTwoRunsAndExit) {
  Dir.WriteFile("one/a.txt", "aaaa");
  Dir.WriteFile("one/b.txt", "bb");
  Dir.WriteFile("two/c.txt", "c");
  const std::string item = Dir.PathOf("one/*.txt");
  bool alone = false;
  auto warning = std::make_unique<TBoxAnswerer>();
  TMainFormStart start = Start({"-H", "-P16", "-x", item});
  start.Message = [&](const QString& caption, const QString& text, TMessageKind kind) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    alone = std::none_of(windows.begin(), windows.end(), [](QWidget* window) {
      return qobject_cast<TSelectDialog*>(window) || qobject_cast<THelpDialog*>(window);
    });
    return ShowMessage(caption, text, kind);
  };
  TKorvaneProgram program(std::move(start));
  ASSERT_EQ(warning->Boxes.size(), 1u);
  EXPECT_EQ(warning->Boxes[0].Text, QStringLiteral("命令行参数 -x 错误."));
  EXPECT_TRUE(alone);
  warning.reset();  // the boxes that follow are the user's

  TUser user;
  auto counts = [&](const char* ok) {
    EXPECT_EQ(program.ResultForm()->FilesOkLabel->text(), QString::fromUtf8(ok));
    EXPECT_EQ(program.MainForm()->FilesOkLabel->text(), QString::fromUtf8(ok));
  };
  user.Then([&]() -> QWidget* { return program.HelpDialog(); }, [&](QWidget*) { program.HelpDialog()->Button1->click(); });
  user.Then([&]() -> QWidget* { return program.SelectDialog(); }, [&](QWidget*) {
    EXPECT_EQ(program.SelectDialog()->ChosenList->Items(), std::vector<std::string>{item});
    EXPECT_EQ(VerifyStatus->StartTime, 0);  // listed, not verified
    program.SelectDialog()->OkButton->click();
  });
  user.Answer("校验完成.", QMessageBox::Ok);
  user.Then([&]() -> QWidget* { return program.ResultForm(); }, [&](QWidget*) {
    counts("2");
    program.ResultForm()->VerifyLogButton->click();
  });
  user.Then([&]() -> QWidget* { return program.ViewLogForm(); }, [&](QWidget*) {
    EXPECT_GT(program.ViewLogForm()->ListBox->model()->rowCount(), 10);
    program.ViewLogForm()->CloseButton->click();
  });
  user.Then([&]() -> QWidget* { return program.ResultForm(); }, [&](QWidget*) { program.ResultForm()->VerifyMoreButton->click(); });
  user.Then([&]() -> QWidget* { return program.SelectDialog(); }, [&](QWidget*) {
    EXPECT_EQ(program.SelectDialog()->ChosenList->rowCount(), 0);
    EXPECT_TRUE(program.SelectDialog()->PositionErrorCheckBox->isChecked());
    program.SelectDialog()->AddItem(Dir.PathOf("two/*.txt"));
    program.SelectDialog()->OkButton->click();
  });
  user.Answer("校验完成.", QMessageBox::Ok);
  user.Then([&]() -> QWidget* { return program.ResultForm(); }, [&](QWidget*) {
    counts("1");  // the second run counts from zero
    program.ResultForm()->ExitButton->click();
  });
  EXPECT_EQ(user.Run(program), 0);
  ASSERT_EQ(user.Boxes.size(), 2u);
  EXPECT_EQ(user.Boxes[0].Caption, QStringLiteral("信息"));
  EXPECT_EQ(user.Boxes[0].Icon, QMessageBox::Information);
  EXPECT_EQ(SetupInfo->ReadUnit, 16);
}

// Enter on "校验完成." and Enter again on the subtotal end the program; the
// run's log stays in the state folder, as "保存记录" would have saved it.
TEST_F(ProgramTest, EnterEnterEndsTheProgramButTheLogIsKept) {
  Dir.WriteFile("data/a.txt", "aaaa");
  const QByteArray state = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(Dir.PathOf("state")));
  TKorvaneProgram program(Start({Dir.PathOf("data/*.*")}));
  qputenv("XDG_STATE_HOME", state);
  auto enter = [](QWidget* window) {
    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Return);
  };
  TUser user;
  user.Then([&]() -> QWidget* { return program.SelectDialog(); }, [&](QWidget*) { program.SelectDialog()->OkButton->click(); });
  user.Then([&]() -> QWidget* { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
            enter);
  user.Then([&]() -> QWidget* { return program.ResultForm(); }, enter);
  EXPECT_EQ(user.Run(program), 0);
  const QDir kept(QString::fromStdString(Dir.PathOf("state/korvane/logs")));
  const QStringList logs = kept.entryList(QDir::Files);
  ASSERT_EQ(logs.size(), 1);
  EXPECT_EQ(TestUtil::ReadFile(kept.filePath(logs[0]).toStdString()), LogFileText(VerifyStatus->Log));
}
