#pragma once
// The two middle panels of the selection dialog: the file browser (drive,
// directory tree, mask and the files it matches) and the run's options.
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

class TSelectFilePanel : public QFrame {
  Q_OBJECT

 public:
  explicit TSelectFilePanel(QWidget* parent);

  TDriveComboBox* DriveComboBox;
  TDirectoryTree* DirListBox;
  QLabel* Label1;
  QLineEdit* MaskEdit;
  QListView* FileListBox;
  TFileListModel* FileList;
};

class TSelectOptionsPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TSelectOptionsPanel(QWidget* parent);

  QCheckBox* AllSubdirectoriesCheckBox;
  QCheckBox* AllFileAttributesCheckBox;
  QCheckBox* PositionErrorCheckBox;
  QGroupBox* ReadUnitGroupBox;
  QLineEdit* ReadUnitEdit;
  QLabel* BytesLabel;
  QPushButton* DefaultButton;
};
