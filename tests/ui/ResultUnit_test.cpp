// The subtotal dialog: its values, and what follows each way of closing it.
#include <gtest/gtest.h>

#include <locale.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "AboutUnit.h"
#include "LogListBox.h"
#include "ResultUnit.h"
#include "TempDir.h"
#include "UiTestSupport.h"
#include "ViewLogUnit.h"

namespace {

constexpr double Second = 1.0 / 86400.0;

// A run of 1 minute 5 seconds; its skipped directories are not verified files.
void FinishRun(TVerifyStatus& status) {
  status.FilesOk = 1234;
  status.FilesError = 2;
  status.FilesSkipped = 1;
  status.DirsSkipped = 5;
  status.TotalBytes = 1234567;
  status.StartTime = 46000.5;
  status.EndTime = 46000.5 + 65 * Second;
}

class Subtotal : public testing::Test {
 protected:
  Subtotal() : Setup(Dir.PathOf("KORVANE.INI")) {
    FinishRun(Status);
    Status.Log = {"Korvane3.1.1.7版", "小计:"};
    Setup.VerifyList = {"/data/", "/more/*.txt"};
    Form.ShowLog = [this] { Viewer.ShowLog(); };
  }

  QStringList Values() const {
    QStringList values;
    for (const QLabel* label : {Form.TotalFilesLabel, Form.TotalBytesLabel, Form.TotalTimeLabel,
                                Form.FilesOkLabel, Form.FilesErrorLabel, Form.FilesSkippedLabel,
                                Form.DirsSkippedLabel})
      values << label->text();
    return values;
  }

  // Shows the dialog from inside the application's own loop, as the
  // progress window does; the loop's result, or -1 when it did not end.
  int ShowSubtotalInApplicationLoop() {
    bool returned = false;
    QTimer::singleShot(0, [&] {
      Form.ShowSubtotal();
      returned = true;
      // Verify more does not end the loop: the test does.
      if (!Form.ExitRequested) QCoreApplication::exit(-1);
    });
    const int result = QCoreApplication::exec();
    EXPECT_TRUE(returned);
    return result;
  }

  TTempDir Dir;
  TVerifyStatus Status;
  TVerifySetupInfo Setup;
  TViewLogForm Viewer{Status};
  TResultForm Form{Status, Setup};
};

}  // namespace

TEST(SubtotalValues, CountsAndRunTime) {
  TVerifyStatus run;
  FinishRun(run);
  const struct {
    double Elapsed;
    const char* Format;
    const char* Time;
  } times[] = {
      {65 * Second, "%-H:%M:%S", "0:01:05"},  // 24-hour, no leading zero
      {65 * Second, "%H时%M分%S秒", "00时01分05秒"},
      {(25 * 3600) * Second, "%-H:%M:%S", "1天 1:00:00"},  // no wrap at a day
  };
  for (const auto& t : times) {
    run.EndTime = run.StartTime + t.Elapsed;
    const TSubtotalValues v = SubtotalValues(run, t.Format);
    EXPECT_EQ(v.TotalTime, t.Time);
    EXPECT_EQ(v.TotalFiles, "1,237");
    EXPECT_EQ(v.TotalBytes, "1,234,567");
    EXPECT_EQ(v.DirsSkipped, "5");
  }
  const TSubtotalValues none = SubtotalValues(TVerifyStatus(), "%-H:%M:%S");
  for (const std::string& value : {none.TotalFiles, none.TotalBytes, none.FilesOk, none.FilesError,
                                   none.FilesSkipped, none.DirsSkipped})
    EXPECT_EQ(value, "0");
}

TEST_F(Subtotal, ShowsTheRunInTheLocalesTimeFormat) {
  const locale_t chinese = newlocale(LC_ALL_MASK, "zh_CN.UTF-8", nullptr);
  if (!chinese) GTEST_SKIP() << "zh_CN.UTF-8 is not installed";
  uselocale(chinese);
  Form.show();
  uselocale(LC_GLOBAL_LOCALE);
  freelocale(chinese);
  Form.hide();
  EXPECT_EQ(Values(), (QStringList{"1,237", "1,234,567", "00时01分05秒", "1,234", "2", "1", "5"}));
}

TEST_F(Subtotal, ExitAndTheCloseBoxEndTheApplicationLoop) {
  const std::pair<const char*, std::function<void()>> ways[] = {
      {"exit button", [&] { Form.ExitButton->click(); }},
      {"close box", [&] { Form.close(); }},
  };
  for (const auto& [way, close] : ways) {
    OnNextModal([&](QWidget* top) {
      EXPECT_EQ(top, &Form);
      EXPECT_TRUE(Form.ExitButton->isDefault());
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&Form, &escape);  // no cancel button: Esc does not exit
      EXPECT_TRUE(Form.isVisible()) << way;
      close();
    });
    EXPECT_EQ(ShowSubtotalInApplicationLoop(), 0) << way;
    EXPECT_TRUE(Form.ExitRequested) << way;
  }
}

TEST_F(Subtotal, VerifyMoreEmptiesTheListAndOpensTheSelection) {
  int selections = 0;
  Form.ShowSelection = [&] {
    ++selections;
    EXPECT_TRUE(Setup.VerifyList.empty());
    EXPECT_FALSE(Form.isVisible());
  };
  OnNextModal([&](QWidget*) { Form.VerifyMoreButton->click(); });
  EXPECT_EQ(ShowSubtotalInApplicationLoop(), -1);
  EXPECT_EQ(selections, 1);
  EXPECT_FALSE(Form.ExitRequested);
}

TEST_F(Subtotal, ReturningFromTheViewerShowsTheSameValues) {
  QStringList first, again;
  OnNextModal([&](QWidget*) {
    first = Values();
    Form.VerifyLogButton->click();
  });
  OnNextModal([&](QWidget* viewer) {
    EXPECT_EQ(viewer, &Viewer);
    EXPECT_EQ(Viewer.ListBox->Count(), 2);
    Form.TotalFilesLabel->setText(QStringLiteral("stale"));
    OnNextModal([&](QWidget*) {
      again = Values();
      Form.ExitButton->click();
    }, &Viewer);
    Viewer.CloseButton->click();
  }, &Form);
  EXPECT_EQ(ShowSubtotalInApplicationLoop(), 0);
  EXPECT_EQ(first, again);
  EXPECT_EQ(first.value(0), QStringLiteral("1,237"));
}
