#pragma once
// The program object: owns the settings, the status and the run controller
// every window works on, and the six windows, created hidden in their
// order. The windows reach each other only through what it gives them. The
// progress window comes first: its creation reads the command line, with
// its warning boxes, before any other window exists.
#include <memory>

#include "MainFormUnit.h"
#include "ProgramData.h"

class TAboutForm;
class THelpDialog;
class TResultForm;
class TSelectDialog;
class TViewLogForm;

class TKorvaneProgram {
 public:
  // Reads the settings, creates the windows and joins them up; the globals
  // SetupInfo and VerifyStatus then refer to this program's.
  explicit TKorvaneProgram(TMainFormStart start);
  // Frees the windows in the reverse order, then ends a run still going on
  // (its worker stopped and joined) before the status goes.
  ~TKorvaneProgram();
  TKorvaneProgram(const TKorvaneProgram&) = delete;
  TKorvaneProgram& operator=(const TKorvaneProgram&) = delete;

  // Shows the progress window; its first show opens the selection dialog.
  void Show();

  TProgramData& Data() { return FData; }
  TMainForm* MainForm() const { return FMainForm.get(); }
  TSelectDialog* SelectDialog() const { return FSelectDialog.get(); }
  TResultForm* ResultForm() const { return FResultForm.get(); }
  TViewLogForm* ViewLogForm() const { return FViewLogForm.get(); }
  TAboutForm* AboutForm() const { return FAboutForm.get(); }
  THelpDialog* HelpDialog() const { return FHelpDialog.get(); }

 private:
  void JoinWindows();

  // Freed in the reverse order: the windows, the progress window last, and
  // then what they work on.
  TProgramData FData;
  std::unique_ptr<TMainForm> FMainForm;
  std::unique_ptr<TSelectDialog> FSelectDialog;
  std::unique_ptr<TResultForm> FResultForm;
  std::unique_ptr<TViewLogForm> FViewLogForm;
  std::unique_ptr<TAboutForm> FAboutForm;
  std::unique_ptr<THelpDialog> FHelpDialog;
};

// The program: returns its exit status once it has been told to end.
int RunKorvane(int& argc, char** argv);
