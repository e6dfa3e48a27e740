#include "MainFormUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "CommandLine.h"
#include "CubicLabel.h"
#include "FormStyle.h"
#include "KorvaneApplication.h"
#include "ListEntry.h"
#include "OpenItems.h"
#include "OverallProgressLine.h"
#include "ResourceUnit.h"
#include "SearchAnimation.h"
#include "VerifierUnit.h"
#include "VersionInfo.h"

TVerifySetupInfo* SetupInfo = nullptr;
TVerifyStatus* VerifyStatus = nullptr;
TMainForm* MainForm = nullptr;

namespace {

constexpr QSize OuterSize(480, 414);
// The panels take the window's width; below this the labels get too short.
constexpr int MinimumPanelWidth = 440;
constexpr int CaptionWidth = 128;
constexpr int RowHeight = 19;

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// Keeps an action from running inside itself: a second stop or close
// while the first one's question is open is refused.
class TOnce {
 public:
  explicit TOnce(bool& busy) : Busy(busy), Taken(!busy) { Busy = true; }
  ~TOnce() {
    if (Taken) Busy = false;
  }
  TOnce(const TOnce&) = delete;
  TOnce& operator=(const TOnce&) = delete;

 private:
  bool& Busy;

 public:
  const bool Taken;
};

}  // namespace

TMainForm::TMainForm(TMainFormStart start, QWidget* parent) : QWidget(parent) {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(MakeFont(QStringLiteral("宋体"), 12));
  QPalette navy = palette();
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText})
    navy.setColor(role, ColorToQColor(clNavy, navy));
  setPalette(navy);
  setWindowIcon(LoadIconResource(QStringLiteral("MAINICON")));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 8);
  layout->setSpacing(6);
  layout->addWidget(BuildHeader());
  layout->addWidget(BuildFilePanel());
  layout->addWidget(BuildCountPanel());
  layout->addWidget(BuildButtons());
  OverallLine = new TOverallProgressLine(this);
  layout->addWidget(OverallLine);
  layout->addStretch(1);
  resize(OuterSize);

  Timer = new QTimer(this);
  Timer->setInterval(TimerInterval);
  TrayIcon = new QSystemTrayIcon(this);

  ConnectEvent(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
  ConnectEvent(PauseButton, &QPushButton::clicked, this, &TMainForm::PauseButtonClick);
  ConnectEvent(StopButton, &QPushButton::clicked, this, &TMainForm::StopButtonClick);
  ConnectEvent(SkipButton, &QPushButton::clicked, this, &TMainForm::SkipButtonClick);
  ConnectEvent(SkipDirButton, &QPushButton::clicked, this, &TMainForm::SkipDirButtonClick);
  ConnectEvent(TitleLabel, &TCubicLabel::Click, this, &TMainForm::TitleLabelClick);
  ConnectEvent(TitleLabel, &TCubicLabel::MouseDown, this, &TMainForm::TitleLabelMouseDown);
  ConnectEvent(TitleLabel, &TCubicLabel::MouseUp, this, &TMainForm::TitleLabelMouseUp);
  ConnectEvent(TrayIcon, &QSystemTrayIcon::activated, this, &TMainForm::WMTrayIcon);
  FormCreate(start);
}

TMainForm::~TMainForm() { FormDestroy(); }

// ---- building the window ---------------------------------------------------

QFrame* TMainForm::BuildHeader() {
  HeaderPanel = new QFrame(this);
  HeaderPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  HeaderPanel->setMinimumWidth(MinimumPanelWidth);
  auto* row = new QHBoxLayout(HeaderPanel);
  row->setContentsMargins(6, 4, 6, 4);
  Animate = new TSearchAnimation(HeaderPanel);
  Animate->setFixedSize(Animate->sizeHint());
  row->addWidget(Animate);

  auto* titles = new QVBoxLayout;
  titles->setSpacing(0);
  TitleLabel = new TCubicLabel(HeaderPanel);
  TitleLabel->setFont(MakeFont(QStringLiteral("Times New Roman"), 24, true));
  CubicLabel2 = new TCubicLabel(HeaderPanel);
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
  return HeaderPanel;
}

QLabel* TMainForm::AddRow(QGridLayout* grid, const char* caption, bool fixed) {
  const int row = grid->rowCount();
  auto* captionLabel = new QLabel(Utf8(caption), grid->parentWidget());
  captionLabel->setFixedWidth(CaptionWidth);
  grid->addWidget(captionLabel, row, 0);
  auto* value = new QLabel(grid->parentWidget());
  // Names and messages come from the disk: never markup.
  value->setTextFormat(Qt::PlainText);
  value->setFixedHeight(RowHeight);
  // A fixed label clips a long name instead of widening the window.
  if (fixed) value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  grid->addWidget(value, row, 1);
  return value;
}

// A sunken panel as wide as the window, with a grid of caption and value.
QGridLayout* TMainForm::AddPanel(QFrame*& panel) {
  panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setMinimumWidth(MinimumPanelWidth);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(2);
  return grid;
}

QFrame* TMainForm::BuildFilePanel() {
  QGridLayout* grid = AddPanel(FilePanel);
  CurrentDirectoryLabel = AddRow(grid, "当前目录:", true);
  CurrentFileLabel = AddRow(grid, "当前文件:", true);
  FileSizeLabel = AddRow(grid, "文件大小:", false);
  const int row = grid->rowCount();
  grid->addWidget(new QLabel(Utf8("进程:"), FilePanel), row, 0);
  ProgressBar = new QProgressBar(FilePanel);
  ProgressBar->setTextVisible(false);
  ProgressBar->setFixedHeight(16);
  grid->addWidget(ProgressBar, row, 1);
  return FilePanel;
}

QFrame* TMainForm::BuildCountPanel() {
  QGridLayout* grid = AddPanel(CountPanel);
  FilesOkLabel = AddRow(grid, "正确的文件数:", false);
  TotalSizeLabel = AddRow(grid, "总计文件大小:", false);
  FilesErrorLabel = AddRow(grid, "错误的文件数:", false);
  LastOkFileLabel = AddRow(grid, "最后一个正确的文件:", true);
  LastErrorFileLabel = AddRow(grid, "最后一个错误的文件:", true);
  LastErrorMessageLabel = AddRow(grid, "最后的错误信息:", true);
  return CountPanel;
}

QWidget* TMainForm::BuildButtons() {
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
  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  row->addStretch(1);
  // Left to right, so that from the right they read Stop, Pause, Skip file,
  // Skip directory.
  for (QPushButton* button : {SkipDirButton, SkipButton, PauseButton, StopButton})
    row->addWidget(button);
  setTabOrder(SkipButton, PauseButton);
  setTabOrder(PauseButton, StopButton);
  setTabOrder(StopButton, SkipDirButton);
  auto* holder = new QWidget(this);
  holder->setMinimumWidth(MinimumPanelWidth);
  holder->setLayout(row);
  row->setContentsMargins(0, 2, 0, 0);
  return holder;
}

// ---- creation, showing, closing, destruction --------------------------------

void TMainForm::FormCreate(TMainFormStart& start) {
  TitleLabel->setText(QStringLiteral("Korvane") + QString::fromStdString(GetShortVersion()) +
                      QStringLiteral("版"));
  setWindowTitle(TitleLabel->text());
  // No error-mode call: POSIX hands I/O errors of absent media to the caller.
  TrayIconAdded = false;
  Message = std::move(start.Message);
  FSetupInfo = start.IniFileName.empty()
                   ? std::make_unique<TVerifySetupInfo>()
                   : std::make_unique<TVerifySetupInfo>(start.IniFileName);
  FVerifyStatus = std::make_unique<TVerifyStatus>();
  SetupInfo = FSetupInfo.get();
  VerifyStatus = FVerifyStatus.get();
  // A file manager's paths follow "--open"; the switch parser never sees them.
  const TOpenArguments arguments = SplitOpenArguments(start.Parameters);
  ParseCommandLine(arguments.Parameters, *FSetupInfo, [this](const std::string& text) {
    Message(QStringLiteral("警告"), QString::fromStdString(text), TMessageKind::Warning);
  });
  AddOpenedItems(arguments.Paths, FSetupInfo->VerifyList);
  TMutexLock hold(FVerifyStatus->Mutex);
  ClearLabels();
}

void TMainForm::ClearLabels() {
  for (QLabel* label : {CurrentDirectoryLabel, CurrentFileLabel, FilesOkLabel, FilesErrorLabel,
                        LastOkFileLabel, LastErrorFileLabel, LastErrorMessageLabel})
    label->clear();
  FileSizeLabel->setText(QStringLiteral("0 字节"));
  TotalSizeLabel->setText(QStringLiteral("0 字节"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  FShown.reset();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  ApplyOuterSize();
  // After the show has completed: FormShow opens modal windows.
  QTimer::singleShot(0, this, [this] { HandleEvent([this] { FormShow(); }); });
}

void TMainForm::ApplyOuterSize() {
  if (FSized) return;
  FSized = true;
  // The designed size includes the frame, which is known only once shown.
  const QSize frame = frameGeometry().size() - size();
  resize(OuterSize - frame);
  CentreOnScreen(this);
}

void TMainForm::FormShow() {
  {
    TMutexLock hold(FVerifyStatus->Mutex);
    if (FVerifyStatus->StartTime != 0) return;
  }
  // Restoring the window while the first selection is open must not open
  // a second one.
  TOnce once(FSelecting);
  if (!once.Taken) return;
  if (FSetupInfo->ShowHelp && ShowCommandLineHelp) ShowCommandLineHelp();
  if (ShowSelection) ShowSelection();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
  // Enter with no button focused presses the default one, as in a dialog.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !qobject_cast<QPushButton*>(focusWidget()))
    PauseButton->click();
  else
    QWidget::keyPressEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  HandleEvent([&] { FormClose(event); });
}

void TMainForm::FormClose(QCloseEvent* event) {
  TOnce once(FAsking);
  if (!once.Taken) {
    event->ignore();
    return;
  }
  PauseVerify();
  if (!Message(QStringLiteral("警告"), QStringLiteral("你要退出Korvane?"), TMessageKind::Question)) {
    ResumeVerify();
    event->ignore();
    return;
  }
  StopVerify();
  event->accept();
  QCoreApplication::exit(0);
}

void TMainForm::FormDestroy() {
  Timer->stop();
  // A worker still running is stopped and joined before the status it
  // writes into goes away.
  Verifier.reset();
  if (TrayIconAdded) {
    TrayIcon->hide();
    TrayIconAdded = false;
  }
  if (SetupInfo == FSetupInfo.get()) SetupInfo = nullptr;
  if (VerifyStatus == FVerifyStatus.get()) VerifyStatus = nullptr;
  FSetupInfo.reset();
  FVerifyStatus.reset();
}

// ---- the run ---------------------------------------------------------------

void TMainForm::StartVerify() {
  // The last run's worker has ended (its thread was joined when the run
  // was seen to finish or was stopped); this frees it.
  Verifier.reset();
  FShown.reset();
  Verifier = std::make_unique<TVerifier>(*FVerifyStatus, *FSetupInfo);
  OverallLine->RunStarted();
  ResumeVerify();
  PauseButton->setFocus();
  // The run is followed and steered from here: the window takes the
  // keyboard from the closed selection, so that Enter pauses; once that
  // has gone, and only if no other window of ours has come up since.
  QTimer::singleShot(0, this, [this] {
    if (isVisible() && !QApplication::activeModalWidget() && !isActiveWindow()) activateWindow();
  });
}

void TMainForm::PauseVerify() {
  PauseButton->setText(QStringLiteral("恢复(&R)"));
  FVerifyStatus->SetPaused(true);
  Timer->stop();
  Animate->Stop();
  RefreshTrayIcon();
}

void TMainForm::ResumeVerify() {
  PauseButton->setText(QStringLiteral("暂停(&P)"));
  FVerifyStatus->SetPaused(false);
  Timer->start();
  Animate->SetFrame(0);
  Animate->Play();
  RefreshTrayIcon();
}

void TMainForm::StopVerify() {
  FVerifyStatus->SetPaused(false);
  Timer->stop();
  Animate->Stop();
  if (Verifier) {
    // Harmless when the worker has already ended: the thread is joined once.
    Verifier->Terminate();
    Verifier->WaitFor();
  }
  OverallLine->RunEnded();
  RefreshTrayIcon();
}

void TMainForm::TimerTimer() {
  // The lock is held only while the values are copied.
  const TStatusSnapshot shot = TakeSnapshot(*FVerifyStatus);
  ShowStatus(shot);
  OverallLine->Show(shot);
  UpdateTrayIcon(shot.CurrentFile);
  if (shot.Finished) RunFinished();
}

void TMainForm::ShowStatus(const TStatusSnapshot& shot) {
  const bool all = !FShown;
  const TStatusSnapshot& was = all ? shot : *FShown;
  auto text = [&](QLabel* label, const std::string& now, const std::string& before) {
    if (all || now != before) label->setText(DisplayText(now));
  };
  text(CurrentDirectoryLabel, shot.CurrentDirectory, was.CurrentDirectory);
  text(CurrentFileLabel, shot.CurrentFile, was.CurrentFile);
  text(LastOkFileLabel, shot.LastOkFile, was.LastOkFile);
  text(LastErrorFileLabel, shot.LastErrorFile, was.LastErrorFile);
  text(LastErrorMessageLabel, shot.LastErrorMessage, was.LastErrorMessage);
  if (all || shot.CurrentFilePosition != was.CurrentFilePosition ||
      shot.CurrentFileSize != was.CurrentFileSize) {
    FileSizeLabel->setText(FileSizeText(shot.CurrentFilePosition, shot.CurrentFileSize));
    ShowBar(shot);
  }
  if (all || shot.FilesOk != was.FilesOk) FilesOkLabel->setText(CountText(shot.FilesOk));
  if (all || shot.TotalBytes != was.TotalBytes)
    TotalSizeLabel->setText(TotalSizeText(shot.TotalBytes));
  if (all || shot.FilesError != was.FilesError)
    FilesErrorLabel->setText(CountText(shot.FilesError));
  FShown = shot;
}

void TMainForm::ShowBar(const TStatusSnapshot& shot) {
  const TBarValues bar = BarValues(shot.CurrentFilePosition, shot.CurrentFileSize);
  ProgressBar->setRange(0, bar.Maximum);
  ProgressBar->setValue(bar.Position);
}

void TMainForm::RunFinished() {
  OverallLine->RunEnded();
  Animate->Stop();
  Timer->stop();
  // The worker has left its closing section; its thread ends at once.
  // Joining it here means the next run's reset cannot meet its last steps.
  if (Verifier) Verifier->WaitFor();
  Message(QStringLiteral("信息"), QStringLiteral("校验完成."), TMessageKind::Information);
  if (ShowSubtotal) ShowSubtotal();
}

// ---- buttons and title -------------------------------------------------------

void TMainForm::PauseButtonClick() {
  if (FVerifyStatus->Idle) return;
  if (FVerifyStatus->Paused)
    ResumeVerify();
  else
    PauseVerify();
}

void TMainForm::SkipButtonClick() { FVerifyStatus->SkipFile = true; }

void TMainForm::SkipDirButtonClick() { FVerifyStatus->SkipDirectory = true; }

bool TMainForm::Ask(const char* question) {
  return Message(QStringLiteral("警告"), Utf8(question), TMessageKind::Question);
}

void TMainForm::StopButtonClick() {
  TOnce once(FAsking);
  if (!once.Taken) return;
  PauseVerify();
  if (Ask("你要中止校验?")) {
    StopVerify();
    if (ShowSubtotal) ShowSubtotal();
  } else {
    ResumeVerify();
  }
}

void TMainForm::TitleLabelClick() {
  if (FVerifyStatus->Paused) {
    if (ShowAbout) ShowAbout();
    return;
  }
  PauseVerify();
  if (ShowAbout) ShowAbout();
  ResumeVerify();
}

void TMainForm::TitleLabelMouseDown() { TitleLabel->SetCubicFace(cfLowered); }

void TMainForm::TitleLabelMouseUp() { TitleLabel->SetCubicFace(cfRaised); }

// ---- the tray ------------------------------------------------------------------

void TMainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  if ((windowState() & Qt::WindowMinimized) && !(old & Qt::WindowMinimized))
    // Hiding from inside the state change would confuse the window system.
    QTimer::singleShot(0, this, [this] { HandleEvent([this] { AppMinimize(); }); });
}

const char* TMainForm::StateIconName() const {
  return FVerifyStatus->Paused || FVerifyStatus->Idle ? "PAUSEICON" : "MAINICON";
}

QIcon TMainForm::GetStateIcon() const { return LoadIconResource(Utf8(StateIconName())); }

void TMainForm::AppMinimize() {
  if (TrayIconAdded) return;
  // Without a notification area the window just stays minimised: hidden,
  // nothing could ever bring it back.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  TrayIconName = Utf8(StateIconName());
  TrayIcon->setIcon(GetStateIcon());
  FTrayTip = QStringLiteral("Korvane");
  TrayIcon->setToolTip(FTrayTip);
  TrayIcon->show();
  TrayIconAdded = TrayIcon->isVisible();
  if (TrayIconAdded) hide();
}

void TMainForm::AppRestore() {
  if (!TrayIconAdded) return;
  TrayIcon->hide();
  TrayIconAdded = false;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TMainForm::UpdateTrayIcon(const std::string& fileName) {
  if (!TrayIconAdded) return;
  // Rewritten only on a change: every tick passes here.
  const QString name = Utf8(StateIconName());
  if (name != TrayIconName) {
    TrayIconName = name;
    TrayIcon->setIcon(GetStateIcon());
  }
  const QString tip = DisplayText(TrayTipOf(fileName));
  if (tip != FTrayTip) {
    FTrayTip = tip;
    TrayIcon->setToolTip(tip);
  }
}

void TMainForm::RefreshTrayIcon() {
  if (!TrayIconAdded) return;
  std::string file;
  {
    // The worker rewrites the name while it runs: copied under the lock.
    TMutexLock hold(FVerifyStatus->Mutex);
    file = FVerifyStatus->CurrentFile;
  }
  UpdateTrayIcon(file);
}

void TMainForm::WMTrayIcon(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger) {
    if (FVerifyStatus->Idle) return;
    if (FVerifyStatus->Paused)
      ResumeVerify();
    else
      PauseVerify();
  } else if (reason == QSystemTrayIcon::Context) {
    AppRestore();
  }
}
