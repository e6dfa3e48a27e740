#pragma once
// The selection dialog: the user chooses files and directories from a
// drive, directory and file browser into the chosen list, sets the run's
// options, and starts the run or stores the options as the defaults.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QDialog>

#include "CommonDataUnit.h"
#include "SelectPanels.h"

class QFrame;
class QPushButton;
class TChosenListModel;
class TChosenListView;
class TCubicLabel;

class TSelectDialog : public QDialog, public TBrowserControls, public TOptionControls {
  Q_OBJECT

 public:
  explicit TSelectDialog(TVerifySetupInfo& setupInfo, QWidget* parent = nullptr);
  ~TSelectDialog() override;

  // Shows the dialog modally; returns when it has been closed (after the
  // start button, with the run already started).
  void ShowSelection();

  // Adds one item to the chosen list unless an entry has exactly its bytes;
  // a duplicate is reported to the user instead.
  void AddItem(const std::string& item);

  // The progress window's start operation and the about box; the program
  // sets them.
  std::function<void()> StartVerify;
  std::function<void()> ShowAbout;

  QFrame* Panel4;
  TCubicLabel* CubicLabel1;
  // The browser's and the options' controls are the fields of the bases.
  QFrame* FilePanel;
  QFrame* OptionsPanel;
  QPushButton* AddDirectoryButton;
  QPushButton* AddFilesButton;
  QPushButton* RemoveButton;
  QPushButton* OkButton;
  QPushButton* CancelButton;
  QFrame* ListPanel;
  TChosenListView* ListBox;
  TChosenListModel* ChosenList;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormActivate();
  void OkButtonClick();
  void CancelButtonClick();
  void AddDirectoryButtonClick();
  void AddFilesButtonClick();
  void RemoveButtonClick();
  void FileListBoxDblClick();
  void ListBoxDblClick();
  void ListBoxDragDrop(const QStringList& paths);
  void MaskEditChange();
  void AllSubdirectoriesCheckBoxClick();
  void AllFileAttributesCheckBoxClick();
  void PositionErrorCheckBoxClick();
  void ReadUnitEditChange();
  void DefaultButtonClick();
  void DriveComboBoxChange();
  void DirListBoxChange();
  void CubicLabel1Click();
  void CubicLabel1MouseDown();
  void CubicLabel1MouseUp();

  QFrame* BuildTitlePanel();
  QLayout* BuildButtonRow();
  QFrame* BuildListPanel();
  void ConnectEvents();
  void SetTabOrder();
  void ListFiles();
  // The read unit typed, or nothing after telling the user it is unusable.
  std::optional<std::int32_t> CheckedReadUnit();
  void StoreSelection(std::int32_t readUnit);

  TVerifySetupInfo& SetupInfo;
};
