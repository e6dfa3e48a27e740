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
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ChosenList.h"
#include "CmdLineHelpUnit.h"
#include "LogFile.h"
#include "LogListBox.h"
#include "KorvaneProgram.h"
#include "ResultUnit.h"
#include "SelectDialogUnit.h"
#include "TempDir.h"
#include "TestFs.h"
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
  // A program whose runs' logs are kept in the test's own state folder.
  std::unique_ptr<TKorvaneProgram> KeepingLogs(std::vector<std::string> parameters) {
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(Dir.PathOf("state")));
    auto program = std::make_unique<TKorvaneProgram>(Start(std::move(parameters)));
    qputenv("XDG_STATE_HOME", state);
    return program;
  }
  // The texts of the kept logs.
  std::vector<std::string> KeptLogs() const {
    const QDir kept(QString::fromStdString(Dir.PathOf("state/korvane/logs")));
    std::vector<std::string> texts;
    for (const QString& name : kept.entryList(QDir::Files))
      texts.push_back(TestUtil::ReadFile(kept.filePath(name).toStdString()));
    return texts;
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
  user.Then(&TKorvaneProgram::SelectDialog, [&](TSelectDialog& selection) {
    std::vector<std::string> shown = selection.ChosenList->Items();
    std::vector<std::string> expected = {Dir.PathOf("照片 2026/*.*"), Dir.PathOf("notes.txt"), "-P1"};
    std::sort(shown.begin(), shown.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(shown, expected);
    EXPECT_FALSE(selection.AllSubdirectoriesCheckBox->isChecked());
    EXPECT_EQ(SetupInfo->ReadUnit, DefaultReadUnit);
    selection.CancelButton->click();
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
  EXPECT_EQ(warning->Boxes[0].Caption, QStringLiteral("错误"));
  EXPECT_TRUE(alone);
  warning.reset();  // the boxes that follow are the user's

  TUser user;
  auto counts = [&](const char* ok) {
    EXPECT_EQ(program.ResultForm()->FilesOkLabel->text(), QString::fromUtf8(ok));
    EXPECT_EQ(program.MainForm()->FilesOkLabel->text(), QString::fromUtf8(ok));
  };
  user.Then(&TKorvaneProgram::HelpDialog, [&](THelpDialog& help) { help.Button1->click(); });
  user.Then(&TKorvaneProgram::SelectDialog, [&](TSelectDialog& selection) {
    EXPECT_EQ(selection.ChosenList->Items(), std::vector<std::string>{item});
    EXPECT_EQ(VerifyStatus->StartTime, 0);  // listed, not verified
    selection.OkButton->click();
  });
  user.Answer("校验完成.", QMessageBox::Ok);
  user.Then(&TKorvaneProgram::ResultForm, [&](TResultForm& subtotal) {
    counts("2");
    subtotal.VerifyLogButton->click();
  });
  user.Then(&TKorvaneProgram::ViewLogForm, [&](TViewLogForm& viewer) {
    EXPECT_GT(viewer.ListBox->model()->rowCount(), 10);
    viewer.CloseButton->click();
  });
  user.Then(&TKorvaneProgram::ResultForm, [&](TResultForm& subtotal) { subtotal.VerifyMoreButton->click(); });
  user.Then(&TKorvaneProgram::SelectDialog, [&](TSelectDialog& selection) {
    EXPECT_EQ(selection.ChosenList->rowCount(), 0);
    EXPECT_TRUE(selection.PositionErrorCheckBox->isChecked());
    selection.AddItem(Dir.PathOf("two/*.txt"));
    selection.OkButton->click();
  });
  user.Answer("校验完成.", QMessageBox::Ok);
  user.Then(&TKorvaneProgram::ResultForm, [&](TResultForm& subtotal) {
    counts("1");  // the second run counts from zero
    subtotal.ExitButton->click();
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
  const std::unique_ptr<TKorvaneProgram> program = KeepingLogs({Dir.PathOf("data/*.*")});
  auto enter = [](QWidget& window) {
    QTest::keyClick(window.focusWidget() ? window.focusWidget() : &window, Qt::Key_Return);
  };
  TUser user;
  user.Then(&TKorvaneProgram::SelectDialog, [&](TSelectDialog& selection) { selection.OkButton->click(); });
  user.Then([]() -> QWidget* { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
            [&](QWidget* box) { enter(*box); });
  user.Then(&TKorvaneProgram::ResultForm, enter);
  EXPECT_EQ(user.Run(*program), 0);
  EXPECT_EQ(KeptLogs(), std::vector<std::string>{LogFileText(VerifyStatus->Log)});
}

// The program told to end while a run goes on, as when the session ends:
// the program object stops the run and joins its worker before the status
// goes, and the log keeps what the run made.
TEST_F(ProgramTest, EndingDuringARunStopsItAndKeepsItsLog) {
  TTestFs fs({{.Path = "slow", .Size = 1 << 20, .DelayMs = 4}});
  KORVANE_REQUIRE_FUSE(fs);
  std::unique_ptr<TKorvaneProgram> program = KeepingLogs({"-P4096", fs.PathOf("slow")});
  TVerifyStatus& status = program->Data().Status();
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const TMutexLock hold(status.Mutex);
    if (status.CurrentFilePosition > 0) QCoreApplication::exit(0);
  });
  TUser user;
  user.Then(&TKorvaneProgram::SelectDialog, [&](TSelectDialog& selection) {
    selection.OkButton->click();
    watch.start(5);
  });
  EXPECT_EQ(user.Run(*program), 0);
  EXPECT_EQ(program->Data().Run().State(), TRunState::Running);
  program.reset();
  EXPECT_EQ(VerifyStatus, nullptr);
  const std::vector<std::string> logs = KeptLogs();
  ASSERT_EQ(logs.size(), 1u);
  const std::string started = LogFileText({"开始校验'" + fs.PathOf("slow") + "'..."});
  EXPECT_NE(logs[0].find(started), std::string::npos);
}

// Help and version on standard output, with no display to open windows on.
TEST(ProgramInfo, HelpAndVersionAnswerWithoutADisplay) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QString::fromLatin1(name));
  const struct {
    const char* Switch;
    const char* Part;
  } cases[] = {{"--help", "  -P<读取单位>  指示错误位置"}, {"--help", "  --open 路径..."},
               {"--version", "Korvane3.1.1.7\n"}};
  for (const auto& c : cases) {
    QProcess korvane;
    korvane.setProcessEnvironment(environment);
    korvane.start(QStringLiteral(KORVANE_PATH), {QString::fromLatin1(c.Switch)});
    ASSERT_TRUE(korvane.waitForFinished(10000));
    EXPECT_EQ(korvane.exitStatus(), QProcess::NormalExit) << c.Switch;
    EXPECT_EQ(korvane.exitCode(), 0) << c.Switch;
    const QString out = QString::fromUtf8(korvane.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QString::fromUtf8(c.Part))) << out.toStdString();
    EXPECT_EQ(korvane.readAllStandardError(), QByteArray()) << c.Switch;
  }
}
