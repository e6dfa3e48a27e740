#pragma once
// The two middle panels of the selection dialog: the file browser (drive,
// directory tree, mask and the files it matches) and the run's options.
// Each fills in the controls it makes, which the dialog holds under the
// names it is designed with.
#include <QFrame>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class TDirectoryTree;
class TDriveComboBox;
class TFileListModel;

struct TBrowserControls {
  TDriveComboBox* DriveComboBox;
  TDirectoryTree* DirListBox;
  QLabel* Label1;
  QLineEdit* MaskEdit;
  QListView* FileListBox;
  TFileListModel* FileList;
};

struct TOptionControls {
  QCheckBox* AllSubdirectoriesCheckBox;
  QCheckBox* AllFileAttributesCheckBox;
  QCheckBox* PositionErrorCheckBox;
  QGroupBox* ReadUnitGroupBox;
  QLineEdit* ReadUnitEdit;
  QLabel* BytesLabel;
  QPushButton* DefaultButton;
};

class TSelectFilePanel : public QFrame {
  Q_OBJECT

 public:
  TSelectFilePanel(QWidget* parent, TBrowserControls& controls);
};

class TSelectOptionsPanel : public QFrame {
  Q_OBJECT

 public:
  TSelectOptionsPanel(QWidget* parent, TOptionControls& controls);
};
