#pragma once
// A user of the whole window program: acts on its modal windows in turn,
// each step once its window is the one on top, while the program runs its
// own event loop.
#include <deque>
#include <functional>
#include <vector>

#include <QMessageBox>

#include "KorvaneProgram.h"
#include "UiTestSupport.h"

class TUser {
 public:
  using TWindow = std::function<QWidget*()>;
  using TAction = std::function<void(QWidget*)>;

  void Then(TWindow window, TAction action);
  // A message box with this text, answered with this button.
  void Answer(const char* text, QMessageBox::StandardButton button);

  // Shows the program and runs its loop until it is told to end; 0 when
  // every step was taken and the program ended by itself.
  int Run(TKorvaneProgram& program);

  std::vector<TSeenBox> Boxes;

 private:
  struct TStep {
    TWindow Window;
    TAction Action;
  };
  void TakeStep(bool& pending);

  std::deque<TStep> Steps;
};
