#pragma once
// When a window of this program counts as activated and deactivated.
//
// A window becomes active when it is shown and again when a window of this
// program that was opened over it (the about box, a message box, the save
// dialog, another form) closes; it is deactivated when such a window opens
// over it and when it is hidden. Switching to another application and back
// is neither: the user's focus moving between programs must not empty or
// refill a window's lists. Window-manager focus events cannot tell the two
// apart (and the offscreen platform has none), so the watch follows the
// showing and hiding of this program's own modal windows instead.
#include <functional>

#include <QObject>

class QWidget;

class TFormActivation : public QObject {
 public:
  // Watches form; either handler may be empty. The form keeps the watch as
  // its last member, so the watch is gone before the form's base class
  // hides it on destruction: a handler must never run on a half-destroyed
  // form.
  TFormActivation(QWidget* form, std::function<void()> activate, std::function<void()> deactivate);

  bool Active() const { return FActive; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetActive(bool active);
  bool CoversForm(const QWidget* window) const;

  QWidget* FForm;
  std::function<void()> FActivate;
  std::function<void()> FDeactivate;
  bool FActive = false;
};
