#pragma once
// The window program from start to end: the application object, the six
// windows created hidden in their order, the event loop, and the windows
// freed again. The progress window comes first: its creation makes the
// settings and the status and reads the command line, with its warning
// boxes, before any other window exists.
#include <memory>

#include "MainFormUnit.h"

class TAboutForm;
class THelpDialog;
class TResultForm;
class TSelectDialog;
class TViewLogForm;

class TProgramWindows {
 public:
  // Creates the windows, sets the global pointers and joins them up.
  explicit TProgramWindows(TMainFormStart start);
  // Frees the windows in the reverse order, the progress window last: its
  // destruction frees the objects the others were given.
  ~TProgramWindows();
  TProgramWindows(const TProgramWindows&) = delete;
  TProgramWindows& operator=(const TProgramWindows&) = delete;

  // Shows the progress window; its first show opens the selection dialog.
  void Show();

 private:
  std::unique_ptr<TMainForm> FMainForm;
  std::unique_ptr<TSelectDialog> FSelectDialog;
  std::unique_ptr<TResultForm> FResultForm;
  std::unique_ptr<TViewLogForm> FViewLogForm;
  std::unique_ptr<TAboutForm> FAboutForm;
  std::unique_ptr<THelpDialog> FHelpDialog;
};

// The program: returns its exit status once it has been told to end.
int RunKorvane(int& argc, char** argv);
