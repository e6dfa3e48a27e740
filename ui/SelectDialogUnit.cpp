#include "SelectDialogUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "ChosenList.h"
#include "CubicLabel.h"
#include "DirectoryTree.h"
#include "DriveList.h"
#include "FileList.h"
#include "FormActivation.h"
#include "FormStyle.h"
#include "KorvaneApplication.h"
#include "MessageBoxes.h"
#include "SelectPanels.h"

namespace {

QFrame* MakePanel(QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  return panel;
}

QPushButton* MakeButton(const char* caption, const char* hint, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  if (hint) button->setToolTip(QString::fromUtf8(hint));
  return button;
}

// A whole number with blanks around it allowed, in the range a run reads in.
std::optional<std::int32_t> ReadUnitOf(const QString& text) {
  const std::optional<std::int32_t> unit = StrToInt32(text.trimmed().toStdString());
  if (!unit || !IsValidReadUnit(*unit)) return std::nullopt;
  return unit;
}

}  // namespace

TSelectDialog::TSelectDialog(TVerifySetupInfo& setupInfo, QWidget* parent)
    : QDialog(parent), SetupInfo(setupInfo) {
  const QString caption = QStringLiteral("选择要校验的文件");
  SetUpForm(*this, caption, MakeFont(QStringLiteral("宋体"), 12), QSize(521, 443));
  // A fixed frame without title-bar buttons: the dialog is left through
  // its start and exit buttons only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(521, 443);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(BuildTitlePanel());
  auto* middle = new QHBoxLayout;
  middle->setSpacing(4);
  FilePanel = new TSelectFilePanel(this, *this);
  OptionsPanel = new TSelectOptionsPanel(this, *this);
  middle->addWidget(FilePanel, 1);
  middle->addWidget(OptionsPanel);
  layout->addLayout(middle);
  layout->addLayout(BuildButtonRow());
  layout->addWidget(BuildListPanel(), 1);

  OkButton->setDefault(true);
  SetTabOrder();
  // The hints stay with their controls but are never shown.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  ConnectEvents();
  FormCreate();
}

TSelectDialog::~TSelectDialog() = default;

QFrame* TSelectDialog::BuildTitlePanel() {
  Panel4 = MakePanel(this);
  Panel4->setFixedHeight(44);
  auto* row = new QHBoxLayout(Panel4);
  row->setContentsMargins(2, 2, 2, 2);
  CubicLabel1 = new TCubicLabel(Panel4);
  CubicLabel1->setText(QStringLiteral("选择要校验的文件"));
  CubicLabel1->SetCubicFace(cfRaised);
  CubicLabel1->SetCubicShadow(false);
  CubicLabel1->SetShadowDepth(0);
  CubicLabel1->SetShadowOnly(false);
  CubicLabel1->SetShadowColor(clGray);
  CubicLabel1->SetHollowFace(false);
  CubicLabel1->SetHollowColor(clSilver);
  CubicLabel1->setAlignment(Qt::AlignCenter);
  CubicLabel1->setFont(MakeFont(QStringLiteral("Times New Roman"), 24, true));
  CubicLabel1->SetFontColor(clNavy);
  row->addWidget(CubicLabel1);
  return Panel4;
}

QLayout* TSelectDialog::BuildButtonRow() {
  AddDirectoryButton =
      MakeButton("添加目录(&D)", "Add current directory into the parameters list.", this);
  AddFilesButton = MakeButton("添加文件(&F)", "Add current files into parameters list.", this);
  RemoveButton = MakeButton("不校验选定文件(&E)", "Remove parameters from the list.", this);
  OkButton = MakeButton("开始(&B)", "Begin to verify.", this);
  CancelButton = MakeButton("退出(&X)", "Cancel the program and exit.", this);
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  for (QPushButton* button :
       {AddDirectoryButton, AddFilesButton, RemoveButton, OkButton, CancelButton})
    row->addWidget(button);
  return row;
}

QFrame* TSelectDialog::BuildListPanel() {
  ListPanel = MakePanel(this);
  auto* box = new QVBoxLayout(ListPanel);
  box->setContentsMargins(4, 4, 4, 4);
  ChosenList = new TChosenListModel(this);
  ListBox = new TChosenListView(ListPanel);
  ListBox->setModel(ChosenList);
  ListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
  box->addWidget(ListBox);
  return ListPanel;
}

void TSelectDialog::SetTabOrder() {
  QWidget* const order[] = {DriveComboBox,
                            DirListBox,
                            MaskEdit,
                            FileListBox,
                            AllSubdirectoriesCheckBox,
                            AllFileAttributesCheckBox,
                            ReadUnitEdit,
                            PositionErrorCheckBox,
                            DefaultButton,
                            AddDirectoryButton,
                            AddFilesButton,
                            RemoveButton,
                            OkButton,
                            CancelButton,
                            ListBox};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TSelectDialog::ConnectEvents() {
  ConnectEvent(OkButton, &QPushButton::clicked, this, &TSelectDialog::OkButtonClick);
  ConnectEvent(CancelButton, &QPushButton::clicked, this, &TSelectDialog::CancelButtonClick);
  ConnectEvent(AddDirectoryButton, &QPushButton::clicked, this,
               &TSelectDialog::AddDirectoryButtonClick);
  ConnectEvent(AddFilesButton, &QPushButton::clicked, this, &TSelectDialog::AddFilesButtonClick);
  ConnectEvent(RemoveButton, &QPushButton::clicked, this, &TSelectDialog::RemoveButtonClick);
  ConnectEvent(DefaultButton, &QPushButton::clicked, this, &TSelectDialog::DefaultButtonClick);
  ConnectEvent(FileListBox, &QListView::doubleClicked, this, &TSelectDialog::FileListBoxDblClick);
  ConnectEvent(ListBox, &QListView::doubleClicked, this, &TSelectDialog::ListBoxDblClick);
  ConnectEvent(ListBox, &TChosenListView::DeletePressed, this, &TSelectDialog::RemoveButtonClick);
  ConnectEvent(ListBox, &TChosenListView::PathsDropped, this, &TSelectDialog::ListBoxDragDrop);
  ConnectEvent(MaskEdit, &QLineEdit::textChanged, this, &TSelectDialog::MaskEditChange);
  ConnectEvent(ReadUnitEdit, &QLineEdit::textChanged, this, &TSelectDialog::ReadUnitEditChange);
  ConnectEvent(AllSubdirectoriesCheckBox, &QCheckBox::toggled, this,
               &TSelectDialog::AllSubdirectoriesCheckBoxClick);
  ConnectEvent(AllFileAttributesCheckBox, &QCheckBox::toggled, this,
               &TSelectDialog::AllFileAttributesCheckBoxClick);
  ConnectEvent(PositionErrorCheckBox, &QCheckBox::toggled, this,
               &TSelectDialog::PositionErrorCheckBoxClick);
  ConnectEvent(DriveComboBox, &QComboBox::activated, this, &TSelectDialog::DriveComboBoxChange);
  ConnectEvent(DirListBox, &TDirectoryTree::DirectoryChanged, this,
               &TSelectDialog::DirListBoxChange);
  ConnectEvent(CubicLabel1, &TCubicLabel::Click, this, &TSelectDialog::CubicLabel1Click);
  ConnectEvent(CubicLabel1, &TCubicLabel::MouseDown, this, &TSelectDialog::CubicLabel1MouseDown);
  ConnectEvent(CubicLabel1, &TCubicLabel::MouseUp, this, &TSelectDialog::CubicLabel1MouseUp);
}

// ---- showing and filling ----------------------------------------------------

void TSelectDialog::FormCreate() {
  DefaultButton->setEnabled(false);
  ListFiles();
}

void TSelectDialog::ShowSelection() {
  FormActivate();
  // The run just made, or anything else, may have changed the directory.
  ListFiles();
  if (!focusWidget()) DriveComboBox->setFocus();
  ShowModal(*this);
}

// Runs only when the dialog is shown: coming back from the about box or
// from another program would throw away what the user has just chosen.
void TSelectDialog::FormActivate() {
  AllSubdirectoriesCheckBox->setChecked(SetupInfo.AllSubdirectories);
  AllFileAttributesCheckBox->setChecked(SetupInfo.AllFileAttributes);
  PositionErrorCheckBox->setChecked(SetupInfo.PositionError);
  ReadUnitEdit->setText(QString::number(SetupInfo.ReadUnit));
  ChosenList->Assign(SetupInfo.VerifyList);
}

bool TSelectDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip) return true;
  return QDialog::eventFilter(watched, event);
}

void TSelectDialog::keyPressEvent(QKeyEvent* event) {
  // No button answers Escape.
  if (event->key() == Qt::Key_Escape) return event->ignore();
  // Enter in the mask field applies the mask; it never starts a run.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && focusWidget() == MaskEdit) return ListFiles();
  QDialog::keyPressEvent(event);
}

void TSelectDialog::closeEvent(QCloseEvent* event) {
  // The window manager's close (Alt+F4) is refused like the missing close box.
  if (event->spontaneous()) return event->ignore();
  QDialog::closeEvent(event);
}

// ---- the browser ------------------------------------------------------------

void TSelectDialog::DriveComboBoxChange() {
  DirListBox->SetVolume(DriveComboBox->Volume(), DriveComboBox->Volume());
}

void TSelectDialog::DirListBoxChange() { ListFiles(); }

void TSelectDialog::MaskEditChange() { ListFiles(); }

void TSelectDialog::ListFiles() {
  FileList->List(EncodedText(DirListBox->Directory()), EncodedText(MaskEdit->text()),
                 AllFileAttributesCheckBox->isChecked());
}

// ---- the chosen list --------------------------------------------------------

void TSelectDialog::AddItem(const std::string& item) {
  if (ChosenList->Contains(item)) {
    ShowWarning(QStringLiteral("文件'") + DisplayText(item) + QStringLiteral("'已经被加入列表了."));
    return;
  }
  ChosenList->Insert(item);
}

void TSelectDialog::AddDirectoryButtonClick() {
  AddItem(JoinPath(EncodedText(DirListBox->Directory()), EncodedText(MaskEdit->text())));
}

void TSelectDialog::AddFilesButtonClick() {
  for (int row : SelectedRows(*FileListBox))
    AddItem(JoinPath(FileList->Directory(), FileList->Name(row)));
}

void TSelectDialog::FileListBoxDblClick() { AddFilesButtonClick(); }

void TSelectDialog::RemoveButtonClick() { ChosenList->Remove(SelectedRows(*ListBox)); }

void TSelectDialog::ListBoxDblClick() { RemoveButtonClick(); }

// A dropped folder is added as a directory item with the mask, a file as
// itself.
void TSelectDialog::ListBoxDragDrop(const QStringList& paths) {
  for (const QString& path : paths) {
    const std::string bytes = EncodedText(QDir::cleanPath(path));
    AddItem(QFileInfo(path).isDir() ? JoinPath(bytes, EncodedText(MaskEdit->text())) : bytes);
  }
}

// ---- options ----------------------------------------------------------------

void TSelectDialog::AllSubdirectoriesCheckBoxClick() { DefaultButton->setEnabled(true); }

void TSelectDialog::AllFileAttributesCheckBoxClick() {
  DirListBox->SetShowHidden(AllFileAttributesCheckBox->isChecked());
  ListFiles();
  DefaultButton->setEnabled(true);
}

void TSelectDialog::PositionErrorCheckBoxClick() {
  const bool on = PositionErrorCheckBox->isChecked();
  ReadUnitGroupBox->setEnabled(on);
  ReadUnitEdit->setEnabled(on);
  BytesLabel->setEnabled(on);
  DefaultButton->setEnabled(true);
}

void TSelectDialog::ReadUnitEditChange() { DefaultButton->setEnabled(true); }

// ---- start, exit, defaults --------------------------------------------------

std::optional<std::int32_t> TSelectDialog::CheckedReadUnit() {
  const std::optional<std::int32_t> unit = ReadUnitOf(ReadUnitEdit->text());
  if (unit) return unit;
  ShowWarning(QStringLiteral("读取单位必须在 1 至 1048576 之间."));
  if (ReadUnitEdit->isEnabled()) {
    ReadUnitEdit->setFocus();
    ReadUnitEdit->selectAll();
  }
  return std::nullopt;
}

void TSelectDialog::StoreSelection(std::int32_t readUnit) {
  TMutexLock hold(SetupInfo.Mutex);
  SetupInfo.VerifyList = ChosenList->Items();
  SetupInfo.AllSubdirectories = AllSubdirectoriesCheckBox->isChecked();
  SetupInfo.AllFileAttributes = AllFileAttributesCheckBox->isChecked();
  SetupInfo.PositionError = PositionErrorCheckBox->isChecked();
  SetupInfo.ReadUnit = readUnit;
}

void TSelectDialog::OkButtonClick() {
  if (ChosenList->rowCount() == 0) {
    ShowMessage(QStringLiteral("错误"), QStringLiteral("未选择校验文件."), TMessageKind::Warning);
    return;
  }
  const std::optional<std::int32_t> readUnit = CheckedReadUnit();
  if (!readUnit) return;
  accept();
  StoreSelection(*readUnit);
  // The run's start resets the status.
  if (StartVerify) StartVerify();
}

void TSelectDialog::CancelButtonClick() {
  if (!AskYesNo(QStringLiteral("要退出程序吗?"))) return;
  QCoreApplication::exit(0);
  hide();
}

void TSelectDialog::DefaultButtonClick() {
  const std::optional<std::int32_t> readUnit = CheckedReadUnit();
  if (!readUnit) return;
  StoreSelection(*readUnit);
  // A failed write leaves here with its error; the button then stays enabled.
  SetupInfo.SaveSettings();
  DefaultButton->setEnabled(false);
}

// ---- the title --------------------------------------------------------------

void TSelectDialog::CubicLabel1Click() {
  if (ShowAbout) ShowAbout();
}

void TSelectDialog::CubicLabel1MouseDown() { CubicLabel1->SetCubicFace(cfLowered); }

void TSelectDialog::CubicLabel1MouseUp() { CubicLabel1->SetCubicFace(cfRaised); }
