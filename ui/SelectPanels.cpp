#include "SelectPanels.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "DirectoryTree.h"
#include "DriveList.h"
#include "FileList.h"

namespace {

QCheckBox* MakeCheckBox(const char* caption, const char* hint, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setToolTip(QString::fromUtf8(hint));
  box->setChecked(true);
  return box;
}

}  // namespace

TSelectFilePanel::TSelectFilePanel(QWidget* parent, TBrowserControls& controls) : QFrame(parent) {
  auto& [DriveComboBox, DirListBox, Label1, MaskEdit, FileListBox, FileList] = controls;
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setSpacing(4);
  DriveComboBox = new TDriveComboBox(this);
  DirListBox = new TDirectoryTree(this);
  DriveComboBox->SetVolume(VolumeOf(QDir::currentPath()));
  DirListBox->SetVolume(DriveComboBox->Volume(), QDir::currentPath());
  Label1 = new QLabel(QStringLiteral("通配符:"), this);
  MaskEdit = new QLineEdit(QStringLiteral("*.*"), this);
  FileList = new TFileListModel(this);
  FileListBox = new QListView(this);
  FileListBox->setModel(FileList);
  FileListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FileListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FileListBox->setUniformItemSizes(true);
  auto* mask = new QHBoxLayout;
  mask->addWidget(Label1);
  mask->addWidget(MaskEdit, 1);
  grid->addWidget(DriveComboBox, 0, 0);
  grid->addWidget(DirListBox, 1, 0);
  grid->addLayout(mask, 0, 1);
  grid->addWidget(FileListBox, 1, 1);
  // The tree takes a fixed share; the mask and the file list the rest.
  DriveComboBox->setFixedWidth(170);
  DirListBox->setFixedWidth(170);
}

TSelectOptionsPanel::TSelectOptionsPanel(QWidget* parent, TOptionControls& controls)
    : QFrame(parent) {
  auto& [AllSubdirectoriesCheckBox, AllFileAttributesCheckBox, PositionErrorCheckBox,
         ReadUnitGroupBox, ReadUnitEdit, BytesLabel, DefaultButton] = controls;
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setFixedWidth(168);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(6);
  AllSubdirectoriesCheckBox =
      MakeCheckBox("包含所有子目录(&S)", "Verify files in all subdirectories.", this);
  AllFileAttributesCheckBox =
      MakeCheckBox("包含所有文件属性(&A)", "Verify file with all attrubutes.", this);
  PositionErrorCheckBox = MakeCheckBox("指示错误位置(&P)", "Indicate error position in the file.", this);
  ReadUnitGroupBox = new QGroupBox(QStringLiteral("读取单位(&R)"), this);
  ReadUnitEdit = new QLineEdit(QStringLiteral("1024"), ReadUnitGroupBox);
  ReadUnitEdit->setToolTip(QStringLiteral("Enter a number as the minimum unit to read. "));
  BytesLabel = new QLabel(QStringLiteral("字节"), ReadUnitGroupBox);
  auto* unit = new QHBoxLayout(ReadUnitGroupBox);
  unit->addWidget(ReadUnitEdit, 1);
  unit->addWidget(BytesLabel);
  DefaultButton = new QPushButton(QStringLiteral("设为默认值"), this);
  column->addWidget(AllSubdirectoriesCheckBox);
  column->addWidget(AllFileAttributesCheckBox);
  column->addWidget(PositionErrorCheckBox);
  auto* indented = new QHBoxLayout;
  indented->addSpacing(16);
  indented->addWidget(ReadUnitGroupBox, 1);
  column->addLayout(indented);
  column->addStretch(1);
  column->addWidget(DefaultButton);
}
