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
  // A step on one of the program's windows, named by its accessor.
  template <typename TForm, typename TFormAction>
  void Then(TForm* (TKorvaneProgram::*window)() const, TFormAction action) {
    Then([this, window]() -> QWidget* { return Program ? (Program->*window)() : nullptr; },
         [action](QWidget* top) { action(*static_cast<TForm*>(top)); });
  }
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
  TKorvaneProgram* Program = nullptr;
};
