// The selection dialog: the chosen list, the file list against the walk's
// own search, filling from the settings, start, defaults and exit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "AboutUnit.h"
#include "ChosenList.h"
#include "CubicLabel.h"
#include "DirSearch.h"
#include "DirectoryTree.h"
#include "DriveList.h"
#include "FileList.h"
#include "ProfileFile.h"
#include "SelectDialogUnit.h"
#include "TempDir.h"
#include "TestFs.h"
#include "UiTestSupport.h"
#include "VerifierUnit.h"

namespace {

using Names = std::vector<std::string>;

const QString BadReadUnit = QStringLiteral("读取单位必须在 1 至 1048576 之间.");

// Shows the dialog and runs act inside it; returns when the dialog has
// closed (act's button, or a close here if act left it open).
void WhileShown(TSelectDialog& dialog, const std::function<void()>& act) {
  OnNextModal([&](QWidget*) {
    act();
    if (dialog.isVisible()) dialog.reject();
  });
  dialog.ShowSelection();
}

Names Rows(const QAbstractItemModel& model) {
  Names rows;
  for (int row = 0; row < model.rowCount(); ++row)
    rows.push_back(model.index(row, 0).data().toString().toStdString());
  return rows;
}

class SelectDialogTest : public testing::Test {
 protected:
  // Lists directory with mask in the file list and waits until it shows.
  void ListDirectory(const std::string& directory, const char* mask) {
    Dialog.MaskEdit->setText(QString::fromUtf8(mask));
    Dialog.DirListBox->SetDirectory(QString::fromStdString(directory));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Dialog.FileList->Listing(); }, 5000));
  }

  void Select(QListView* view, const std::vector<int>& rows) {
    view->clearSelection();
    for (int row : rows)
      view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
  }

  TTempDir Temp;
  TVerifySetupInfo Setup{Temp / "KORVANE.INI"};
  TSelectDialog Dialog{Setup};
};

}  // namespace

TEST(SelectDialog, JoinPathPutsOneSlashBetween) {
  const struct {
    const char *Directory, *Name, *Item;
  } cases[] = {{"/", "*.*", "/*.*"},
               {"/data", "*.txt", "/data/*.txt"},
               {"/data", "", "/data/"},
               {"/data/", "a;b", "/data/a;b"}};
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.Directory, c.Name), c.Item) << c.Directory;
}

TEST_F(SelectDialogTest, ChosenListKeepsOneOfEachInCaseBlindOrder) {
  TBoxAnswerer boxes;
  for (const char* item : {"/data/b.txt", "/DATA/*.*", "/data/*.*", "/data/*.*", "/Data/C", "/a"})
    Dialog.AddItem(item);
  EXPECT_EQ(Rows(*Dialog.ChosenList),
            (Names{"/a", "/DATA/*.*", "/data/*.*", "/data/b.txt", "/Data/C"}));
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Caption, QStringLiteral("警告"));
  EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("文件'/data/*.*'已经被加入列表了."));
  EXPECT_EQ(boxes.Boxes[0].Icon, QMessageBox::Warning);

  Select(Dialog.ListBox, {1, 3});
  Dialog.RemoveButton->click();
  EXPECT_EQ(Rows(*Dialog.ChosenList), (Names{"/a", "/data/*.*", "/Data/C"}));
  Dialog.RemoveButton->click();  // nothing selected any more: nothing happens
  EXPECT_EQ(Dialog.ChosenList->rowCount(), 3);
  Select(Dialog.ListBox, {0});
  QTest::keyClick(Dialog.ListBox, Qt::Key_Delete);
  EXPECT_EQ(Rows(*Dialog.ChosenList), (Names{"/data/*.*", "/Data/C"}));
}

TEST_F(SelectDialogTest, AddButtonsJoinTheCurrentDirectory) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) Temp.WriteFile(name, "");
  ListDirectory(Temp.Path(), "*.txt");
  ASSERT_EQ(Rows(*Dialog.FileList), (Names{"a.txt", "b.txt", "c.txt"}));
  TBoxAnswerer boxes;
  Dialog.AddItem(Temp / "b.txt");
  Select(Dialog.FileListBox, {0, 1, 2});
  Dialog.AddFilesButton->click();
  EXPECT_EQ(Dialog.ChosenList->Items(), (Names{Temp / "a.txt", Temp / "b.txt", Temp / "c.txt"}));
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text.toStdString(), "文件'" + Temp / "b.txt" + "'已经被加入列表了.");
  EXPECT_EQ(Dialog.FileListBox->selectionModel()->selectedRows().size(), 3);

  // Dropped from a file manager: a folder with the mask, a file as itself.
  Temp.MakeDir("dropped");
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(Temp / "dropped")),
                   QUrl::fromLocalFile(QString::fromStdString(Temp / "c.txt"))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Dialog.ListBox->viewport(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Dialog.ListBox->viewport(), &drop);
  EXPECT_EQ(boxes.Boxes.size(), 2u);  // c.txt was there already

  Dialog.AddDirectoryButton->click();
  Dialog.MaskEdit->clear();
  Dialog.AddDirectoryButton->click();
  Dialog.DirListBox->SetDirectory(QStringLiteral("/"));
  Dialog.MaskEdit->setText(QStringLiteral("*.*"));
  Dialog.AddDirectoryButton->click();
  const Names items = Dialog.ChosenList->Items();
  for (const std::string& item :
       {Temp / "dropped/*.txt", Temp / "*.txt", Temp.Path() + "/", std::string("/*.*")})
    EXPECT_NE(std::find(items.begin(), items.end(), item), items.end()) << item;
}

// The list shows exactly the files a run would check for the same mask and
// option: the walk's own search, never directories, each pattern of a
// ";" list in turn.
TEST_F(SelectDialogTest, FileListShowsWhatTheWalkChecks) {
  for (const char* name :
       {"README", "a.txt", "b.TXT", "ab.md", "notes.md", "c.tar.gz", ".hidden", ".h.txt"})
    Temp.WriteFile(name, "");
  Temp.MakeDir("sub.txt");
  ASSERT_EQ(mkfifo((Temp / "pipe").c_str(), 0600), 0);
  const struct {
    const char* Mask;
    bool All;
    Names Expected;
  } cases[] = {
      {"*.*",
       true,
       {".h.txt", ".hidden", "a.txt", "ab.md", "b.TXT", "c.tar.gz", "notes.md", "pipe", "README"}},
      {"*.*", false, {"a.txt", "ab.md", "b.TXT", "c.tar.gz", "notes.md", "README"}},
      {"*.TXT", true, {".h.txt", "a.txt", "b.TXT"}},
      {"*.TXT", false, {"a.txt", "b.TXT"}},
      {"a*;*.md", true, {"a.txt", "ab.md", "notes.md"}},
      {"README", false, {"README"}},
      {"", true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Mask) + (c.All ? " all" : " normal"));
    Dialog.AllFileAttributesCheckBox->setChecked(c.All);
    ListDirectory(Temp.Path(), c.Mask);
    EXPECT_EQ(Rows(*Dialog.FileList), c.Expected);
    if (std::string(c.Mask).find(';') != std::string::npos) continue;
    Names searched;
    Platform::TDirSearch search(JoinPath(Temp.Path(), c.Mask), FileSearchAttributes(c.All));
    for (Platform::TSearchEntry entry; search.Next(entry);) searched.push_back(entry.Name);
    std::sort(searched.begin(), searched.end());
    Names listed = c.Expected;
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, searched);
  }
}

TEST(SelectDialog, StoredOptionsFillTheFormAndEnableTheDefaultButton) {
  TTempDir temp;
  const struct {
    const char* Name;
    void (*Change)(TVerifySetupInfo&);
    bool Enabled;
  } cases[] = {
      {"as the form starts", [](TVerifySetupInfo&) {}, false},
      {"no subdirectories", [](TVerifySetupInfo& s) { s.AllSubdirectories = false; }, true},
      {"no hidden files", [](TVerifySetupInfo& s) { s.AllFileAttributes = false; }, true},
      {"no error position", [](TVerifySetupInfo& s) { s.PositionError = false; }, true},
      {"after a run without position", [](TVerifySetupInfo& s) { s.ReadUnit = 1048576; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVerifySetupInfo setup(temp / "KORVANE.INI");
    c.Change(setup);
    setup.VerifyList = {"/b", "/A"};
    TSelectDialog dialog(setup);
    WhileShown(dialog, [&] {
      EXPECT_EQ(dialog.DefaultButton->isEnabled(), c.Enabled);
      EXPECT_EQ(dialog.AllSubdirectoriesCheckBox->isChecked(), setup.AllSubdirectories);
      EXPECT_EQ(dialog.AllFileAttributesCheckBox->isChecked(), setup.AllFileAttributes);
      EXPECT_EQ(dialog.ReadUnitEdit->text().toInt(), setup.ReadUnit);
      for (QWidget* unit : std::initializer_list<QWidget*>{dialog.ReadUnitGroupBox,
                                                           dialog.ReadUnitEdit, dialog.BytesLabel})
        EXPECT_EQ(unit->isEnabled(), setup.PositionError);
      EXPECT_EQ(Rows(*dialog.ChosenList), (Names{"/A", "/b"}));
    });
  }
}

// Items and options chosen but not yet started survive the about box and
// a visit to another program; only showing the dialog again reloads them.
TEST_F(SelectDialogTest, AboutBoxAndComingBackFromElsewhereKeepTheChoice) {
  TAboutForm about;
  Dialog.ShowAbout = [&] { about.ShowAbout(); };
  Setup.VerifyList = {"/kept"};
  WhileShown(Dialog, [&] {
    auto change = [&] {
      Dialog.AllSubdirectoriesCheckBox->setChecked(false);
      Dialog.ReadUnitEdit->setText(QStringLiteral("64"));
      Dialog.AddItem("/new");
    };
    change();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&Dialog, &activate);
    EXPECT_EQ(Dialog.ChosenList->rowCount(), 2);
    EXPECT_EQ(Dialog.ReadUnitEdit->text(), QStringLiteral("64"));

    OnNextModal(
        [&](QWidget* top) {
          EXPECT_EQ(top, &about);
          about.CloseButton->click();
        },
        &Dialog);
    QTest::mouseClick(Dialog.CubicLabel1, Qt::LeftButton);
    EXPECT_FALSE(Dialog.AllSubdirectoriesCheckBox->isChecked());
    EXPECT_EQ(Dialog.ReadUnitEdit->text(), QStringLiteral("64"));
    EXPECT_EQ(Rows(*Dialog.ChosenList), (Names{"/kept", "/new"}));
    EXPECT_EQ(Dialog.CubicLabel1->CubicFace(), cfRaised);
  });
  // Shown again: what is stored.
  WhileShown(Dialog, [&] {
    EXPECT_TRUE(Dialog.AllSubdirectoriesCheckBox->isChecked());
    EXPECT_EQ(Rows(*Dialog.ChosenList), (Names{"/kept"}));
  });
}

TEST_F(SelectDialogTest, StartStoresTheChoiceAndStartsOnce) {
  int starts = 0;
  Dialog.StartVerify = [&] {
    ++starts;
    EXPECT_FALSE(Dialog.isVisible());
  };
  WhileShown(Dialog, [&] {
    Dialog.AddItem("/b/*.*");
    Dialog.AddItem("/A/x");
    Dialog.AllSubdirectoriesCheckBox->setChecked(false);
    Dialog.PositionErrorCheckBox->setChecked(false);  // the number still counts
    Dialog.ReadUnitEdit->setText(QStringLiteral(" 512 "));
    // Enter in the mask field applies the mask and starts nothing.
    Dialog.MaskEdit->setFocus();
    QTest::keyClick(Dialog.MaskEdit, Qt::Key_Return);
    EXPECT_EQ(starts, 0);
    EXPECT_TRUE(Dialog.isVisible());
    Dialog.OkButton->click();
  });
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(Setup.VerifyList, (Names{"/A/x", "/b/*.*"}));
  EXPECT_FALSE(Setup.AllSubdirectories);
  EXPECT_TRUE(Setup.AllFileAttributes);
  EXPECT_FALSE(Setup.PositionError);
  EXPECT_EQ(Setup.ReadUnit, 512);
}

TEST_F(SelectDialogTest, NothingIsStoredOrStartedWithoutItemsOrWithABadReadUnit) {
  int starts = 0;
  Dialog.StartVerify = [&] { ++starts; };
  const struct {
    QPushButton* Button;
    bool WithItem, Position;
    const char* Unit;
    QString Caption, Text;
  } cases[] = {
      {Dialog.OkButton, false, true, "1024", QStringLiteral("错误"),
       QStringLiteral("未选择校验文件.")},
      {Dialog.OkButton, true, true, "0", QStringLiteral("警告"), BadReadUnit},
      {Dialog.OkButton, true, true, "1048577", QStringLiteral("警告"), BadReadUnit},
      {Dialog.OkButton, true, false, "12ab", QStringLiteral("警告"), BadReadUnit},
      {Dialog.DefaultButton, true, true, "", QStringLiteral("警告"), BadReadUnit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Unit);
    WhileShown(Dialog, [&] {
      if (c.WithItem) Dialog.AddItem("/x");
      Dialog.PositionErrorCheckBox->setChecked(c.Position);
      Dialog.ReadUnitEdit->setText(QString::fromUtf8(c.Unit));
      Dialog.MaskEdit->setFocus();
      TBoxAnswerer boxes;
      c.Button->click();
      ASSERT_EQ(boxes.Boxes.size(), 1u);
      EXPECT_EQ(boxes.Boxes[0].Caption, c.Caption);
      EXPECT_EQ(boxes.Boxes[0].Text, c.Text);
      EXPECT_EQ(boxes.Boxes[0].Icon, QMessageBox::Warning);
      EXPECT_TRUE(Dialog.isVisible());
      const bool focused = c.WithItem && c.Position;
      EXPECT_EQ(Dialog.focusWidget() == Dialog.ReadUnitEdit, focused);
      if (focused) {
        EXPECT_EQ(Dialog.ReadUnitEdit->selectedText(), QString::fromUtf8(c.Unit));
      }
    });
    EXPECT_EQ(starts, 0);
    EXPECT_TRUE(Setup.VerifyList.empty());
    EXPECT_TRUE(Setup.PositionError);
    EXPECT_EQ(Setup.ReadUnit, 1024);
  }
}

TEST_F(SelectDialogTest, DefaultButtonWritesTheOptionsAndThenRests) {
  WhileShown(Dialog, [&] {
    Dialog.AllSubdirectoriesCheckBox->setChecked(false);
    Dialog.ReadUnitEdit->setText(QStringLiteral("2048"));
    Dialog.AddItem("/not/in/the/file");
    ASSERT_TRUE(Dialog.DefaultButton->isEnabled());
    Dialog.DefaultButton->click();
    EXPECT_FALSE(Dialog.DefaultButton->isEnabled());
    EXPECT_TRUE(Dialog.isVisible());
  });
  const Platform::TProfileFile ini(Setup.GetIniFile());
  const std::string section = "Korvane 3.1";
  EXPECT_EQ(ini.ReadString(section, "Search all subdirectories", "?"), "0");
  EXPECT_EQ(ini.ReadString(section, "Search all file attributes", "?"), "1");
  EXPECT_EQ(ini.ReadString(section, "Indicates error position", "?"), "1");
  EXPECT_EQ(ini.ReadString(section, "Bytes read per process", "?"), "2048");
  EXPECT_EQ(Setup.VerifyList, Names{"/not/in/the/file"});
}

TEST(SelectDialog, AFailedSaveIsReportedAndKeepsTheButtonEnabled) {
  TTestFs fs({{.Path = "KORVANE.INI", .Content = "[Korvane 3.1]\n"}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifySetupInfo setup(fs.PathOf("KORVANE.INI"));
  TSelectDialog dialog(setup);
  dialog.ReadUnitEdit->setText(QStringLiteral("4096"));
  TBoxAnswerer boxes;
  dialog.DefaultButton->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Caption, QStringLiteral("Korvane"));
  // The designed text, and on a line of its own the system's reason.
  const QStringList lines = boxes.Boxes[0].Text.split(QLatin1Char('\n'));
  EXPECT_EQ(lines.value(0).toStdString(), "Unable to write to " + fs.PathOf("KORVANE.INI") + ".");
  EXPECT_EQ(lines.size(), 2) << boxes.Boxes[0].Text.toStdString();
  EXPECT_EQ(setup.ReadUnit, 4096);
  EXPECT_TRUE(dialog.DefaultButton->isEnabled());
}

TEST_F(SelectDialogTest, ExitAsksAndOnlyYesEndsTheProgram) {
  {
    TBoxAnswerer no(QMessageBox::No);
    WhileShown(Dialog, [&] {
      Dialog.AddItem("/x");
      Dialog.CancelButton->click();
      EXPECT_TRUE(Dialog.isVisible());
      EXPECT_EQ(Dialog.ChosenList->rowCount(), 1);
    });
    ASSERT_EQ(no.Boxes.size(), 1u);
    EXPECT_EQ(no.Boxes[0].Caption, QStringLiteral("警告"));
    EXPECT_EQ(no.Boxes[0].Text, QStringLiteral("要退出程序吗?"));
    EXPECT_EQ(no.Boxes[0].Icon, QMessageBox::Question);
  }
  TBoxAnswerer yes(QMessageBox::Yes);
  QTimer guard;  // ends a loop that the exit failed to end
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(5000);
  QTimer::singleShot(0, &Dialog, [&] {
    OnNextModal([&](QWidget*) { Dialog.CancelButton->click(); });
    Dialog.ShowSelection();
  });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(Dialog.isVisible());
}

TEST_F(SelectDialogTest, KeyboardOrderAndAWindowLeftOnlyByItsButtons) {
  EXPECT_FALSE(Dialog.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
  EXPECT_TRUE(Dialog.OkButton->isDefault());
  const std::vector<QWidget*> order = {Dialog.DriveComboBox,
                                       Dialog.DirListBox,
                                       Dialog.MaskEdit,
                                       Dialog.FileListBox,
                                       Dialog.AllSubdirectoriesCheckBox,
                                       Dialog.AllFileAttributesCheckBox,
                                       Dialog.ReadUnitEdit,
                                       Dialog.PositionErrorCheckBox,
                                       Dialog.DefaultButton,
                                       Dialog.AddDirectoryButton,
                                       Dialog.AddFilesButton,
                                       Dialog.RemoveButton,
                                       Dialog.OkButton,
                                       Dialog.CancelButton,
                                       Dialog.ListBox};
  std::vector<QWidget*> chain;
  for (QWidget* w = order.front(); chain.size() < order.size(); w = w->nextInFocusChain())
    if (std::find(order.begin(), order.end(), w) != order.end()) chain.push_back(w);
  EXPECT_EQ(chain, order);
  WhileShown(Dialog, [&] {
    QTest::keyClick(Dialog.MaskEdit, Qt::Key_Escape);
    EXPECT_TRUE(Dialog.isVisible());
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), Dialog.OkButton->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(Dialog.OkButton, &tip);
    EXPECT_FALSE(Dialog.OkButton->toolTip().isEmpty());
    EXPECT_FALSE(QToolTip::isVisible());
  });
}
