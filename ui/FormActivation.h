#pragma once
// How every window of this program comes to the user: a modal window is
// shown over the one on top, a window hidden in the tray or minimised is
// brought back with the windows that went with it, and a window learns
// when it has become active and when it has stopped being so. Only the
// progress window's first show and its own minimised state are left to it.
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

class QDialog;
class QWidget;

// Moves a top-level window to the middle of its screen.
void CentreOnScreen(QWidget* window);

// The window a new modal window of this program belongs over: the modal
// window on top whenever there is one, or else the active window.
QWidget* WindowOnTop();

enum class TPlacement { Centred, AsItIs };

// Shows a modal window over the window on top, so that the window manager
// keeps it above that one, and returns its result once it has closed.
int ShowModal(QDialog& window, TPlacement placement = TPlacement::Centred);

// Shows a window again, out of the tray or the task bar, with every window
// of this program that went with it, the topmost modal one on top and
// active.
void BringBackWindow(QWidget& window);

// How long a window manager may take to report a restored window's state:
// a minimised state it reports within this time is stale.
inline constexpr int RestoreSettleMs = 250;

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
