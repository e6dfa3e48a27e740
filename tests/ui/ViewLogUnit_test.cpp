// The log viewer: the list over the log, its activation, and saving.
#include <QAction>
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>

#include "AboutUnit.h"
#include "CubicLabel.h"
#include "LogFile.h"
#include "LogListBox.h"
#include "SystemError.h"
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
    Form.ShowAbout = [this] { About.ShowAbout(); };
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
    Form.ListBox->setCurrentIndex(Form.ListBox->Model()->index(5));
    OnNextModal([&](QWidget* about) {
      EXPECT_EQ(about, &About);
      // A window over the viewer leaves the list painted and in its place.
      EXPECT_EQ(Rows(), LogLines());
      OnNextModal([&](QWidget*) {
        seen = Rows();
        EXPECT_EQ(Form.ListBox->currentIndex().row(), 5);
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
  Form.ShowLog();
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
  // The designed text, then the system's reason on a line of its own.
  const std::pair<std::string, QString> cases[] = {
      {missing, QString::fromStdString("Cannot create file " + missing + ".\n" +
                                       Platform::SystemErrorText(ENOENT))},
      {"/dev/full", QString::fromStdString("Stream write error.\n" + Platform::SystemErrorText(ENOSPC))},
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
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("保存校验记录"));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.nameFilters(),
            (QStringList{QStringLiteral("文本文件 (*.txt)"), QStringLiteral("所有文件 (*.*)")}));
  EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("文本文件 (*.txt)"));
  EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(dialog.selectedFiles().value(0).endsWith(QStringLiteral("/qlx.txt")));
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("txt"));
  emit dialog.filterSelected(QStringLiteral("所有文件 (*.*)"));
  EXPECT_EQ(dialog.defaultSuffix(), QString());
  emit dialog.filterSelected(QStringLiteral("文本文件 (*.txt)"));
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("txt"));
  // After a run, the name says when it started.
  EXPECT_EQ(DefaultLogName(46364.5 + 8.0 / 86400), QStringLiteral("校验记录_2026-12-08_12-00-08"));
  EXPECT_EQ(Form.ListBox->actions().value(0)->text(), QStringLiteral("打开记录文件夹"));
}

// Run at scale 1 and, by korvane_ui_viewer_scale2, at scale 2: the ink of
// a row of tall CJK glyphs and descenders stays inside its own row.
TEST_F(ViewLog, RowsAreAsHighAsTheirGlyphs) {
  const std::string tall = "   文件'/媒体/gjpqy|ÅÉ_報告':";
  // The first and last pixel rows with ink when only one of two rows has text.
  auto inkOf = [&](const TStringList& log) {
    Status.Log = log;
    Form.show();
    Form.ListBox->clearFocus();  // no focus frame: only the text is ink
    QApplication::processEvents();
    const QImage image = Form.ListBox->viewport()->grab().toImage();
    Form.hide();
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) != background) {
          if (first < 0) first = y;
          last = y;
          break;
        }
    return std::pair{first, last};
  };
  const auto [upperTop, upperBottom] = inkOf({tall, ""});
  const auto [lowerTop, lowerBottom] = inkOf({"", tall});
  ASSERT_GE(upperTop, 0);
  ASSERT_GE(lowerTop, 0);
  const int rowPixels = qRound(Form.ListBox->RowHeight() * Form.ListBox->devicePixelRatioF());
  EXPECT_LT(upperBottom, rowPixels) << "the first row's glyphs reach into the second";
  EXPECT_GE(lowerTop, rowPixels) << "the second row's glyphs reach into the first";
  EXPECT_LT(lowerBottom, 2 * rowPixels);
  EXPECT_LT(upperBottom, lowerTop);
}

// Escape leaves the viewer open; Enter presses the focused button and
// nothing else; the save dialog starts where the last save went.
TEST_F(ViewLog, KeysAndTheSaveDialogsFolder) {
  TTempDir dir;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString start = Form.SaveDialog->directory().absolutePath();
  EXPECT_TRUE(start == documents || start == QDir::homePath()) << start.toStdString();
  int asked = 0;
  Form.AskFileName = [&] {
    ++asked;
    return QString::fromStdString(dir.PathOf("kept.txt"));
  };
  OnNextModal([&](QWidget* top) {
    EXPECT_EQ(top, &Form);
    const struct {
      QWidget* Focus;
      Qt::Key Key;
      int Asked;
      bool Open;
    } steps[] = {
        {Form.SaveLogButton, Qt::Key_Escape, 0, true},
        {Form.ListBox, Qt::Key_Return, 0, true},
        {Form.SaveLogButton, Qt::Key_Return, 1, true},
        {Form.SaveLogButton, Qt::Key_Enter, 2, true},
        {Form.CloseButton, Qt::Key_Return, 2, false},
    };
    for (const auto& step : steps) {
      step.Focus->setFocus();
      QTest::keyClick(step.Focus, step.Key, step.Key == Qt::Key_Enter ? Qt::KeypadModifier
                                                                      : Qt::NoModifier);
      EXPECT_EQ(asked, step.Asked) << step.Key;
      EXPECT_EQ(Form.isVisible(), step.Open) << step.Key;
    }
    if (Form.isVisible()) Form.CloseButton->click();
  });
  Form.ShowLog();
  EXPECT_EQ(TestUtil::ReadFile(dir.PathOf("kept.txt")), LogFileText(Status.Log));
  EXPECT_EQ(Form.SaveDialog->directory().absolutePath(), QString::fromStdString(dir.Path()));
}
