#include "MainFormUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

#include "CommandLine.h"
#include "CubicLabel.h"
#include "DesktopNotice.h"
#include "FormActivation.h"
#include "FormStyle.h"
#include "KorvaneApplication.h"
#include "ListEntry.h"
#include "OpenItems.h"
#include "OverallProgressLine.h"
#include "ProgressPanels.h"
#include "ResourceUnit.h"
#include "RunEnd.h"
#include "SearchAnimation.h"
#include "TrayEntry.h"
#include "VerifierUnit.h"
#include "VersionInfo.h"

namespace {

constexpr QSize OuterSize(480, 414);

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

TMainForm::TMainForm(TProgramData& program, TMainFormStart start, QWidget* parent)
    : QWidget(parent),
      FSetupInfo(program.Setup()),
      FVerifyStatus(program.Status()),
      FRun(program.Run()) {
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
  HeaderPanel = new TProgressHeader(this, *this);
  FilePanel = FFilePanel = new TFilePanel(this, *this);
  CountPanel = FCountPanel = new TCountPanel(this, *this);
  auto* buttons = new TProgressButtons(this, *this);
  for (QWidget* part : std::initializer_list<QWidget*>{HeaderPanel, FilePanel, CountPanel, buttons})
    layout->addWidget(part);
  OverallLine = new TOverallProgressLine(this);
  layout->addWidget(OverallLine);
  layout->addStretch(1);
  resize(OuterSize);

  Timer = new QTimer(this);
  Timer->setInterval(TimerInterval);
  Tray = new TTrayEntry(this);
  Notice = new TDesktopNotice(this);

  ConnectEvent(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
  ConnectEvent(PauseButton, &QPushButton::clicked, this, &TMainForm::PauseButtonClick);
  ConnectEvent(StopButton, &QPushButton::clicked, this, &TMainForm::StopButtonClick);
  ConnectEvent(SkipButton, &QPushButton::clicked, this, &TMainForm::SkipButtonClick);
  ConnectEvent(SkipDirButton, &QPushButton::clicked, this, &TMainForm::SkipDirButtonClick);
  ConnectEvent(TitleLabel, &TCubicLabel::Click, this, &TMainForm::TitleLabelClick);
  ConnectEvent(TitleLabel, &TCubicLabel::MouseDown, this, &TMainForm::TitleLabelMouseDown);
  ConnectEvent(TitleLabel, &TCubicLabel::MouseUp, this, &TMainForm::TitleLabelMouseUp);
  ConnectEvent(Tray, &TTrayEntry::Clicked, this, &TMainForm::WMTrayIcon);
  ConnectEvent(Notice, &TDesktopNotice::Clicked, this, &TMainForm::BringBack);
  FormCreate(start);
}

TMainForm::~TMainForm() { FormDestroy(); }

// ---- creation, showing, closing, destruction --------------------------------

void TMainForm::FormCreate(TMainFormStart& start) {
  TitleLabel->setText(QStringLiteral("Korvane") + QString::fromStdString(GetShortVersion()) +
                      QStringLiteral("版"));
  setWindowTitle(TitleLabel->text());
  // No error-mode call: POSIX hands I/O errors of absent media to the caller.
  Message = std::move(start.Message);
  ConnectEvent(&FRun, &TRunController::StateChanged, this, &TMainForm::RunStateChanged);
  ConnectEvent(&FRun, &TRunController::Ended, this, &TMainForm::RunEnded);
  // A file manager's paths follow "--open"; the switch parser never sees them.
  const TOpenArguments arguments = SplitOpenArguments(start.Parameters);
  ParseCommandLine(arguments.Parameters, FSetupInfo, [this](const std::string& text) {
    Message(QStringLiteral("错误"), QString::fromStdString(text), TMessageKind::Warning);
  });
  AddOpenedItems(arguments.Paths, FSetupInfo.VerifyList);
  TMutexLock hold(FVerifyStatus.Mutex);
  ClearLabels();
}

void TMainForm::ClearLabels() {
  FFilePanel->Clear();
  FCountPanel->Clear();
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
  FitOuterSize(*this, OuterSize);
}

void TMainForm::FormShow() {
  {
    TMutexLock hold(FVerifyStatus.Mutex);
    if (FVerifyStatus.StartTime != 0) return;
  }
  // Restoring the window while the first selection is open must not open
  // a second one.
  TOnce once(FSelecting);
  if (!once.Taken) return;
  if (FSetupInfo.ShowHelp && ShowCommandLineHelp) ShowCommandLineHelp();
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
  if (FRun.Active()) {
    event->ignore();
    // The program ends when the worker has: a hanging read must not
    // freeze the window meanwhile.
    FClosing = true;
    StopVerify();
    QTimer::singleShot(TVerifier::WindDownLimit, this, [this] { EndWithoutWorker(); });
    return;
  }
  event->accept();
  QCoreApplication::exit(0);
}

// Closing, the worker has not ended: one held in the system by a device
// that answers nothing is let go, so that the window goes at once. The
// process then ends without a word more: the objects the worker still uses
// must not be destroyed under it, and the system keeps a process inside
// such a call as long as the call lasts, whatever it is asked.
void TMainForm::EndWithoutWorker() {
  if (!FRun.Active()) return;
  if (!FRun.LetGoForExit()) {
    QTimer::singleShot(TVerifier::AbandonRetry, this, [this] { EndWithoutWorker(); });
    return;
  }
  Tray->Remove();
  for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
  QCoreApplication::processEvents();
  std::fflush(nullptr);
  std::_Exit(0);
}

void TMainForm::FormDestroy() {
  // A run still going on is ended by the program object, which owns it.
  Timer->stop();
  Tray->Remove();
}

// ---- the run ---------------------------------------------------------------

void TMainForm::StartVerify() {
  FShown.reset();
  FRun.Start();
  OverallLine->RunStarted();
  PauseButton->setFocus();
  // A run never starts unseen, also when it is started from the tray.
  BringBack();
}

void TMainForm::PauseVerify() { FRun.Pause(); }

void TMainForm::ResumeVerify() { FRun.Resume(); }

void TMainForm::StopVerify() { FRun.Stop(); }

void TMainForm::RunStateChanged(TRunState state) {
  const bool running = state == TRunState::Running;
  const bool paused = state == TRunState::Paused;
  PauseButton->setText(paused ? QStringLiteral("恢复(&R)") : QStringLiteral("暂停(&P)"));
  // While stopping, the buttons have nothing left to act on.
  const bool stopping = state == TRunState::Stopping;
  for (QPushButton* button : {SkipDirButton, SkipButton, PauseButton, StopButton})
    button->setEnabled(!stopping);
  setWindowTitle(stopping ? TitleLabel->text() + QStringLiteral(" - 正在停止...")
                          : TitleLabel->text());
  if (state != TRunState::Idle)
    OverallLine->SetState(running ? TLineState::Running
                                  : paused ? TLineState::Paused : TLineState::Stopping);
  if (running || stopping)
    Timer->start();
  else
    Timer->stop();
  Animate->Stop();
  if (running) {
    Animate->SetFrame(0);
    Animate->Play();
  }
  RefreshTrayIcon();
}

void TMainForm::TimerTimer() {
  // The lock is held only while the values are copied.
  const TStatusSnapshot shot = TakeSnapshot(FVerifyStatus);
  ShowStatus(shot);
  OverallLine->Show(shot);
  UpdateTrayIcon(shot.CurrentFile);
}

void TMainForm::ShowStatus(const TStatusSnapshot& shot) {
  const TStatusSnapshot* was = FShown ? &*FShown : nullptr;
  FFilePanel->Show(shot, was);
  FCountPanel->Show(shot, was);
  FShown = shot;
}

void TMainForm::RunEnded(bool stopped) {
  // The labels take the last values the worker wrote.
  const TStatusSnapshot shot = TakeSnapshot(FVerifyStatus);
  ShowStatus(shot);
  OverallLine->RunEnded(shot, stopped);
  UpdateTrayIcon(shot.CurrentFile);
  if (FClosing) {
    hide();
    QCoreApplication::exit(0);
    return;
  }
  if (!stopped) {
    const TRunEndFacts facts = [this] {
      TMutexLock hold(FVerifyStatus.Mutex);
      return RunEndFacts(FVerifyStatus);
    }();
    // The user may be elsewhere: the desktop tells them too.
    if (!isActiveWindow())
      Notice->RunDone(facts.FilesOk, facts.FilesError, QString::fromStdString(UncheckedSentence(facts)));
    Message(QStringLiteral("信息"), QString::fromStdString(EndBoxText(facts)), TMessageKind::Information);
  }
  if (ShowSubtotal) ShowSubtotal();
}

// ---- buttons and title -------------------------------------------------------

void TMainForm::PauseButtonClick() { FRun.TogglePause(); }

void TMainForm::SkipButtonClick() { FRun.SkipFile(); }

void TMainForm::SkipDirButtonClick() { FRun.SkipDirectory(); }

bool TMainForm::Ask(const char* question) {
  return Message(QStringLiteral("警告"), Utf8(question), TMessageKind::Question);
}

void TMainForm::StopButtonClick() {
  TOnce once(FAsking);
  if (!once.Taken) return;
  if (!FRun.Active()) return;
  PauseVerify();
  // The subtotal follows once the worker has ended.
  if (Ask("你要中止校验?"))
    StopVerify();
  else
    ResumeVerify();
}

void TMainForm::TitleLabelClick() {
  const bool running = FRun.State() == TRunState::Running;
  PauseVerify();
  if (ShowAbout) ShowAbout();
  if (running) ResumeVerify();
}

void TMainForm::TitleLabelMouseDown() { TitleLabel->SetCubicFace(cfLowered); }

void TMainForm::TitleLabelMouseUp() { TitleLabel->SetCubicFace(cfRaised); }

// ---- the tray ------------------------------------------------------------------

void TMainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  if (!(windowState() & Qt::WindowMinimized) || (old & Qt::WindowMinimized)) return;
  // Hiding from inside the state change would confuse the window system.
  // Just after a restore, it is the window manager's late note of the
  // iconic state the window had: the window stays.
  QTimer::singleShot(0, this, [this] {
    HandleEvent([this] { FRestoring ? showNormal() : AppMinimize(); });
  });
}

const char* TMainForm::StateIconName() const {
  // Only a pause is shown as one: an ended run is no paused run.
  return FRun.State() == TRunState::Paused ? "PAUSEICON" : "MAINICON";
}

QIcon TMainForm::GetStateIcon() const { return LoadIconResource(Utf8(StateIconName())); }

void TMainForm::AppMinimize() {
  // Without a notification area the window just stays minimised: hidden,
  // nothing could ever bring it back.
  if (Tray->Add(Utf8(StateIconName()), WithState(QStringLiteral("Korvane")))) hide();
}

void TMainForm::AppRestore() { BringBack(); }

void TMainForm::BringBack() {
  const bool away = Tray->Added() || isHidden() || isMinimized();
  Tray->Remove();
  BringBackWindow(*this);
  FRestoring = away;
  QTimer::singleShot(RestoreSettleMs, this, [this] { FRestoring = false; });
}

void TMainForm::UpdateTrayIcon(const std::string& fileName) {
  // Every tick passes here; the entry rewrites only what changed.
  Tray->Update(Utf8(StateIconName()), WithState(DisplayText(TrayTipOf(fileName))));
}

QString TMainForm::WithState(const QString& tip) const {
  const QString state = OverallLine->StateText();
  return state.isEmpty() ? tip : tip + QLatin1Char('\n') + state;
}

void TMainForm::RefreshTrayIcon() {
  if (!Tray->Added()) return;
  std::string file;
  {
    // The worker rewrites the name while it runs: copied under the lock.
    TMutexLock hold(FVerifyStatus.Mutex);
    file = FVerifyStatus.CurrentFile;
  }
  UpdateTrayIcon(file);
}

void TMainForm::WMTrayIcon(QSystemTrayIcon::ActivationReason reason) {
  // While the stop or close question is open, the run stays paused
  // behind it: the answer decides what follows.
  if (reason == QSystemTrayIcon::Trigger && !FAsking)
    FRun.TogglePause();
  else if (reason == QSystemTrayIcon::Context)
    AppRestore();
}
