#pragma once
// The progress window: the program's main window. It reads the command
// line into the program's settings, steers the run through the program's
// run controller and follows its signals, shows the run by polling the
// status on a timer, and hides behind a tray icon when the program is
// minimised.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QIcon>
#include <QSystemTrayIcon>
#include <QWidget>

#include "MessageBoxes.h"
#include "ProgressPanels.h"
#include "ProgramData.h"
#include "ProgressView.h"

class QFrame;
class QTimer;
class TDesktopNotice;
class TOverallProgressLine;
class TTrayEntry;

// Every message box the progress window shows goes through one of these,
// so that a test can answer it; true means Yes.
using TMessageFunction =
    std::function<bool(const QString& caption, const QString& text, TMessageKind kind)>;

// What the program and its progress window are created with.
struct TMainFormStart {
  std::vector<std::string> Parameters;  // the words after the program's name
  std::string IniFileName;              // empty: KORVANE.INI beside the program
  TMessageFunction Message = ShowMessage;
};

class TMainForm : public QWidget,
                  public THeaderControls,
                  public TFilePanelControls,
                  public TCountPanelControls,
                  public TButtonControls {
  Q_OBJECT

 public:
  // Works on the program's settings, status and run controller, which
  // outlive the window; start gives the command line and the message boxes.
  explicit TMainForm(TProgramData& program, TMainFormStart start = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  TVerifySetupInfo& Setup() { return FSetupInfo; }
  TVerifyStatus& Status() { return FVerifyStatus; }
  TRunController& Run() { return FRun; }

  // The run's control, all on the UI thread; none of them waits for the
  // worker. A stop is followed by the subtotal once the worker has ended.
  void StartVerify();
  void PauseVerify();
  void ResumeVerify();
  void StopVerify();

  // The tray entry.
  void AppMinimize();
  void AppRestore();
  void UpdateTrayIcon(const std::string& fileName);
  void RefreshTrayIcon();
  QIcon GetStateIcon() const;
  const char* StateIconName() const;  // "PAUSEICON" or "MAINICON"
  // A press on the tray icon: the left button toggles the pause, the right
  // one brings the window back.
  void WMTrayIcon(QSystemTrayIcon::ActivationReason reason);
  // Shows the window, out of the tray or the task bar, with every window
  // of this program that went with it, the topmost modal one on top.
  void BringBack();

  // The windows this one opens, set by the program (tests set their own).
  std::function<void()> ShowSelection;
  std::function<void()> ShowSubtotal;
  std::function<void()> ShowCommandLineHelp;
  std::function<void()> ShowAbout;
  TMessageFunction Message;

  // The panels; their controls are the fields of the bases above.
  QFrame* HeaderPanel;
  QFrame* FilePanel;
  QFrame* CountPanel;
  // Not among the designed controls: the whole run's progress, in the
  // empty band under the buttons.
  TOverallProgressLine* OverallLine;
  QTimer* Timer;
  TTrayEntry* Tray;
  TDesktopNotice* Notice;

  // The display timer's interval: about the rate at which a screen changes.
  static constexpr int TimerInterval = 16;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FormCreate(TMainFormStart& start);
  void FormShow();
  void FormClose(QCloseEvent* event);
  void EndWithoutWorker();
  void FormDestroy();
  void TimerTimer();
  void PauseButtonClick();
  void StopButtonClick();
  void SkipButtonClick();
  void SkipDirButtonClick();
  void TitleLabelClick();
  void TitleLabelMouseDown();
  void TitleLabelMouseUp();

  void ClearLabels();
  void ShowStatus(const TStatusSnapshot& shot);
  void RunStateChanged(TRunState state);
  void RunEnded(bool stopped);
  bool Ask(const char* question);
  void ApplyOuterSize();
  // A tray tip with the run's percent and state on a second line.
  QString WithState(const QString& tip) const;

  TVerifySetupInfo& FSetupInfo;
  TVerifyStatus& FVerifyStatus;
  TRunController& FRun;
  TFilePanel* FFilePanel;
  TCountPanel* FCountPanel;
  // What the labels show now; empty when they must all be rewritten.
  std::optional<TStatusSnapshot> FShown;
  bool FAsking = false;     // a stop or close question is open
  bool FClosing = false;    // the program ends once the worker has
  bool FSelecting = false;  // FormShow's help or selection dialog is open
  bool FSized = false;
  bool FRestoring = false;  // just brought back: a minimised state is stale
};
