#include "ProgressPanels.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "CubicLabel.h"
#include "ElidedLabel.h"
#include "FormStyle.h"
#include "ListEntry.h"
#include "ProgressView.h"
#include "SearchAnimation.h"
#include "VersionInfo.h"

namespace {

constexpr int CaptionWidth = 128;
constexpr int RowHeight = 19;

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// Rewrites a label only when its value changed (or when all must be).
void ShowText(QLabel* label, const std::string& now, const std::string* before) {
  if (!before || now != *before) label->setText(DisplayText(now));
}

}  // namespace

TProgressHeader::TProgressHeader(QWidget* parent, THeaderControls& controls) : QFrame(parent) {
  auto& [Animate, TitleLabel, CubicLabel2] = controls;
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setMinimumWidth(MinimumPanelWidth);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 4, 6, 4);
  Animate = new TSearchAnimation(this);
  Animate->setFixedSize(Animate->sizeHint());
  row->addWidget(Animate);

  auto* titles = new QVBoxLayout;
  titles->setSpacing(0);
  TitleLabel = new TCubicLabel(this);
  TitleLabel->setFont(MakeFont(QStringLiteral("Times New Roman"), 24, true));
  CubicLabel2 = new TCubicLabel(this);
  CubicLabel2->setFont(MakeFont(QStringLiteral("Times New Roman"), 14));
  CubicLabel2->setText(QString::fromUtf8(CopyrightNotice.data(),
                                         static_cast<qsizetype>(CopyrightNotice.size())));
  for (TCubicLabel* label : {TitleLabel, CubicLabel2}) {
    label->SetCubicFace(cfRaised);
    label->SetFontColor(clNavy);
    label->setAlignment(Qt::AlignCenter);
    titles->addWidget(label);
  }
  row->addLayout(titles, 1);
  // Balances the animation so that the titles stand in the middle.
  row->addSpacing(Animate->width());
}

TStatusPanel::TStatusPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setMinimumWidth(MinimumPanelWidth);
  Grid = new QGridLayout(this);
  Grid->setContentsMargins(8, 6, 8, 6);
  Grid->setVerticalSpacing(2);
}

QLabel* TStatusPanel::AddRow(const char* caption, bool fixed) {
  const int row = Grid->rowCount();
  auto* captionLabel = new QLabel(Utf8(caption), this);
  captionLabel->setFixedWidth(CaptionWidth);
  Grid->addWidget(captionLabel, row, 0);
  QLabel* value = fixed ? new TElidedLabel(this) : new QLabel(this);
  // Names and messages come from the disk: never markup.
  value->setTextFormat(Qt::PlainText);
  value->setFixedHeight(RowHeight);
  // A long path must not widen the window.
  if (fixed) value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  Grid->addWidget(value, row, 1);
  return value;
}

TFilePanel::TFilePanel(QWidget* parent, TFilePanelControls& controls)
    : TStatusPanel(parent), C(controls) {
  auto& [CurrentDirectoryLabel, CurrentFileLabel, FileSizeLabel, ProgressBar] = C;
  CurrentDirectoryLabel = AddRow("当前目录:", true);
  CurrentFileLabel = AddRow("当前文件:", true);
  FileSizeLabel = AddRow("文件大小:", false);
  const int row = Grid->rowCount();
  Grid->addWidget(new QLabel(Utf8("进程:"), this), row, 0);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setTextVisible(false);
  ProgressBar->setFixedHeight(16);
  Grid->addWidget(ProgressBar, row, 1);
}

void TFilePanel::Clear() {
  C.CurrentDirectoryLabel->clear();
  C.CurrentFileLabel->clear();
  C.FileSizeLabel->setText(QStringLiteral("0 字节"));
  C.ProgressBar->setRange(0, 100);
  C.ProgressBar->setValue(0);
}

void TFilePanel::Show(const TStatusSnapshot& shot, const TStatusSnapshot* was) {
  // The directory beside the file is always the file's own.
  const auto directoryOf = [](const TStatusSnapshot& s) {
    return s.CurrentFile.empty() ? s.CurrentDirectory : s.CurrentFileDirectory;
  };
  const std::string wasDirectory = was ? directoryOf(*was) : std::string();
  ShowText(C.CurrentDirectoryLabel, directoryOf(shot), was ? &wasDirectory : nullptr);
  ShowText(C.CurrentFileLabel, shot.CurrentFile, was ? &was->CurrentFile : nullptr);
  if (was && shot.CurrentFilePosition == was->CurrentFilePosition &&
      shot.CurrentFileSize == was->CurrentFileSize &&
      shot.ReadStalledSeconds == was->ReadStalledSeconds)
    return;
  C.FileSizeLabel->setText(
      FileSizeText(shot.CurrentFilePosition, shot.CurrentFileSize, shot.ReadStalledSeconds));
  const TBarValues bar = BarValues(shot.CurrentFilePosition, shot.CurrentFileSize);
  C.ProgressBar->setRange(0, bar.Maximum);
  C.ProgressBar->setValue(bar.Position);
}

TCountPanel::TCountPanel(QWidget* parent, TCountPanelControls& controls)
    : TStatusPanel(parent), C(controls) {
  auto& [FilesOkLabel, TotalSizeLabel, FilesErrorLabel, LastOkFileLabel, LastErrorFileLabel,
         LastErrorMessageLabel] = C;
  FilesOkLabel = AddRow("正确的文件数:", false);
  TotalSizeLabel = AddRow("总计文件大小:", false);
  FilesErrorLabel = AddRow("错误的文件数:", false);
  LastOkFileLabel = AddRow("最后一个正确的文件:", true);
  LastErrorFileLabel = AddRow("最后一个错误的文件:", true);
  LastErrorMessageLabel = AddRow("最后的错误信息:", true);
}

void TCountPanel::Clear() {
  for (QLabel* label : {C.FilesOkLabel, C.FilesErrorLabel, C.LastOkFileLabel, C.LastErrorFileLabel,
                        C.LastErrorMessageLabel})
    label->clear();
  C.TotalSizeLabel->setText(QStringLiteral("0 字节"));
}

void TCountPanel::Show(const TStatusSnapshot& shot, const TStatusSnapshot* was) {
  ShowText(C.LastOkFileLabel, shot.LastOkFile, was ? &was->LastOkFile : nullptr);
  ShowText(C.LastErrorFileLabel, shot.LastErrorFile, was ? &was->LastErrorFile : nullptr);
  ShowText(C.LastErrorMessageLabel, shot.LastErrorMessage, was ? &was->LastErrorMessage : nullptr);
  if (!was || shot.FilesOk != was->FilesOk) C.FilesOkLabel->setText(CountText(shot.FilesOk));
  if (!was || shot.TotalBytes != was->TotalBytes)
    C.TotalSizeLabel->setText(TotalSizeText(shot.TotalBytes));
  if (!was || shot.FilesError != was->FilesError)
    C.FilesErrorLabel->setText(CountText(shot.FilesError));
}

TProgressButtons::TProgressButtons(QWidget* parent, TButtonControls& controls) : QWidget(parent) {
  auto& [SkipDirButton, SkipButton, PauseButton, StopButton] = controls;
  auto makeButton = [this](const char* caption, const char* hint) {
    auto* button = new QPushButton(Utf8(caption), this);
    button->setMinimumSize(108, 25);
    // The hints are kept with their buttons; this window never shows hints.
    if (hint) button->setStatusTip(Utf8(hint));
    return button;
  };
  SkipDirButton = makeButton("跳过当前目录(&D)", nullptr);
  SkipButton = makeButton("跳过当前文件(&F)", "Skip current file.");
  PauseButton = makeButton("暂停(&P)", "Pause process.");
  StopButton = makeButton("停止(&T)", "Stop the process.");
  PauseButton->setDefault(true);
  // Enter presses the focused button, as on the desktop the window was
  // designed for; each run starts with the focus on the pause button.
  for (QPushButton* button : {SkipDirButton, SkipButton, PauseButton, StopButton})
    button->setAutoDefault(true);
  auto* row = new QHBoxLayout(this);
  row->setSpacing(8);
  row->setContentsMargins(0, 2, 0, 0);
  row->addStretch(1);
  // Left to right, so that from the right they read Stop, Pause, Skip file,
  // Skip directory.
  for (QPushButton* button : {SkipDirButton, SkipButton, PauseButton, StopButton})
    row->addWidget(button);
  setTabOrder(SkipButton, PauseButton);
  setTabOrder(PauseButton, StopButton);
  setTabOrder(StopButton, SkipDirButton);
  setMinimumWidth(MinimumPanelWidth);
}
