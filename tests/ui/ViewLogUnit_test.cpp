// The log viewer: the list over the log, its activation, and saving.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "AboutUnit.h"
#include "CubicLabel.h"
#include "LogFile.h"
#include "LogListBox.h"
#include "TempDir.h"
#include "TestUtil.h"
#include "UiTestSupport.h"
#include "ViewLogUnit.h"

namespace {

const QColor DarkRed(0x80, 0, 0);

class ViewLog : public testing::Test {
 protected:
  ViewLog() {
    Status.Log = {"Korvane3.1.1.7版",
                  "开始校验'/data/*.*'...",
                  "   文件'/data/good.txt':",
                  "     文件正确.",
                  "   文件'/data/bad.bin':",
                  "     不能读文件,错误位置在2,048字节处.",
                  "     文件错误代码e=5",
                  "   文件'/data/locked':",
                  "     不能打开文件.",
                  "错误列表:",
                  "不能读文件,错误位置在2,048字节处.: /data/bad.bin",
                  "不能打开文件.: /data/locked"};
    AboutForm = &About;
    ViewLogForm = &Form;
  }
  ~ViewLog() override {
    AboutForm = nullptr;
    ViewLogForm = nullptr;
  }

  QStringList Rows() const {
    QStringList rows;
    for (int row = 0; row < Form.ListBox->Count(); ++row)
      rows << Form.ListBox->Model()->index(row).data().toString();
    return rows;
  }
  QStringList LogLines() const {
    QStringList lines;
    for (const std::string& line : Status.Log) lines << QString::fromStdString(line);
    return lines;
  }

  TVerifyStatus Status;
  TAboutForm About;
  TViewLogForm Form{Status};
};

}  // namespace

TEST_F(ViewLog, ListShowsTheLogWhileActiveAndKeepsItsPlace) {
  QStringList seen;
  OnNextModal([&](QWidget* top) {
    ASSERT_EQ(top, &Form);
    EXPECT_EQ(Rows(), LogLines());
    OnNextModal([&](QWidget* about) {
      EXPECT_EQ(about, &About);
      EXPECT_EQ(Form.ListBox->Count(), 0);
      OnNextModal([&](QWidget*) {
        seen = Rows();
        for (const QSize size : {QSize(369, 292), QSize(800, 600), QSize(200, 120)}) {
          Form.resize(size);
          EXPECT_EQ(Form.ListBox->geometry(), QRect(0, 96, size.width(), size.height() - 96));
          EXPECT_EQ(Form.TitlePanel->geometry(), QRect(8, 8, 353, 49));
        }
        Form.CloseButton->click();
      }, &About);
      About.CloseButton->click();
    }, &Form);
    QTest::mouseClick(Form.CubicLabel1, Qt::LeftButton);
  });
  ShowLog();
  EXPECT_EQ(seen, LogLines()) << "not refilled after the about box";
  EXPECT_EQ(Form.ListBox->Count(), 0);
}

TEST_F(ViewLog, FailuresAreDarkRedAndCtrlCCopiesTheSelectedLine) {
  Form.show();
  TLogListModel& model = *Form.ListBox->Model();
  for (int row = 0; row < model.rowCount(); ++row) {
    const QString line = model.index(row).data().toString();
    const bool failure = line.contains(QStringLiteral("不能"));
    EXPECT_EQ(model.index(row).data(Qt::ForegroundRole).value<QColor>() == DarkRed, failure)
        << line.toStdString();
  }
  Form.ListBox->setCurrentIndex(model.index(5));
  QTest::keyClick(Form.ListBox, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(Status.Log[5]));
  // A line wider than the window can be scrolled to.
  EXPECT_EQ(Form.ListBox->horizontalScrollBar()->maximum(), 0);
  Form.hide();
  Status.Log.push_back("   文件'/" + std::string(200, 'x') + "':");
  Form.show();
  QApplication::processEvents();
  EXPECT_GT(Form.ListBox->horizontalScrollBar()->maximum(), 0);
  Form.hide();
}

TEST_F(ViewLog, SavesTheWholeLogAsGb18030WithCrLf) {
  TTempDir dir;
  const struct {
    TStringList Log;
    std::string Name, Bytes;
  } cases[] = {
      {{"文件 ok", "", "last"}, "校验记录.txt", "\xCE\xC4\xBC\xFE ok\r\n\r\nlast\r\n"},
      {{}, "empty.txt", ""},
  };
  for (const auto& c : cases) {
    Status.Log = c.Log;
    const std::string path = dir.PathOf(c.Name);
    Form.AskFileName = [&] { return QString::fromStdString(path); };
    Form.SaveLogButton->click();  // the viewer is not shown: its list is empty
    EXPECT_EQ(TestUtil::ReadFile(path), c.Bytes) << c.Name;
  }
  Form.AskFileName = [] { return QString(); };  // cancelled
  Form.SaveLogButton->click();
  EXPECT_EQ(Status.Log, TStringList{});
}

TEST_F(ViewLog, SaveFailuresAreReportedAndLoseNothing) {
  TTempDir dir;
  const TStringList log = Status.Log;
  const std::string missing = dir.PathOf("no/such/dir/log.txt");
  const std::pair<std::string, QString> cases[] = {
      {missing, QString::fromStdString("Cannot create file " + missing + ".")},
      {"/dev/full", QStringLiteral("Stream write error.")},
  };
  for (const auto& [path, message] : cases) {
    QString caption, text;
    OnNextModal([&](QWidget* top) {
      auto* box = qobject_cast<QMessageBox*>(top);
      ASSERT_NE(box, nullptr);
      caption = box->windowTitle();
      text = box->text();
      box->close();
    });
    Form.AskFileName = [&] { return QString::fromStdString(path); };
    Form.SaveLogButton->click();
    EXPECT_EQ(caption, QStringLiteral("Korvane"));
    EXPECT_EQ(text, message);
    EXPECT_EQ(Status.Log, log);
  }
  Form.AskFileName = [&] { return QString::fromStdString(dir.PathOf("second.txt")); };
  Form.SaveLogButton->click();
  EXPECT_EQ(TestUtil::ReadFile(dir.PathOf("second.txt")), LogFileText(log));
}

TEST_F(ViewLog, SaveDialogSettings) {
  QFileDialog& dialog = *Form.SaveDialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save Log As"));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.nameFilters(),
            (QStringList{QStringLiteral("Text file (*.txt)"), QStringLiteral("All file (*.*)")}));
  EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("Text file (*.txt)"));
  EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(dialog.selectedFiles().value(0).endsWith(QStringLiteral("/qlx.txt")));
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("txt"));
  emit dialog.filterSelected(QStringLiteral("All file (*.*)"));
  EXPECT_EQ(dialog.defaultSuffix(), QString());
  emit dialog.filterSelected(QStringLiteral("Text file (*.txt)"));
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("txt"));
}
