#include "FormActivation.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Makes the window on top the owner of a window about to be shown.
void AttachToWindowOnTop(QWidget& window) {
  QWidget* owner = WindowOnTop();
  if (!owner || owner == &window) return;
  window.winId();  // makes the native window that takes the owner
  if (QWindow* handle = window.windowHandle()) handle->setTransientParent(owner->windowHandle());
}

}  // namespace

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

QWidget* WindowOnTop() {
  // The modal window on top first: activation reaches Qt asynchronously,
  // so right after a dialog opens the active window may still be the one
  // below it (or none at all).
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

int ShowModal(QDialog& window, TPlacement placement) {
  if (placement == TPlacement::Centred) CentreOnScreen(&window);
  AttachToWindowOnTop(window);
  return window.exec();
}

void BringBackWindow(QWidget& window) {
  // Not minimised before it is mapped again, or it would be mapped iconic.
  window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window.show();
  window.raise();
  // A box open when the window went away was made iconic with it.
  for (QWidget* other : QApplication::topLevelWidgets())
    if (other != &window && other->isVisible() && other->isMinimized()) other->showNormal();
  if (QWidget* modal = QApplication::activeModalWidget()) modal->raise();
  // Once the window manager has mapped the window, and only if no other
  // window of ours has come up over it since.
  QTimer::singleShot(0, &window, [&window] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      modal->raise();
      modal->activateWindow();
    } else if (window.isVisible() && !window.isActiveWindow()) {
      window.activateWindow();
    }
  });
  QTimer::singleShot(RestoreSettleMs, &window, [&window] {
    if (window.isVisible() && window.isMinimized()) window.showNormal();
  });
}

TFormActivation::TFormActivation(QWidget* form, std::function<void()> activate,
                                 std::function<void()> deactivate)
    : FForm(form), FActivate(std::move(activate)), FDeactivate(std::move(deactivate)) {
  // Every object's events pass the application's filters: that is how the
  // windows opened over the form are seen, whoever opens them.
  qApp->installEventFilter(this);
}

bool TFormActivation::CoversForm(const QWidget* window) const {
  return window != FForm && window->isWindow() && window->isModal() && FForm->isVisible();
}

bool TFormActivation::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::Show && type != QEvent::Hide) || !watched->isWidgetType()) return false;
  const auto* window = static_cast<QWidget*>(watched);
  if (window == FForm) {
    // Minimising and restoring are the window system's show and hide.
    if (event->spontaneous()) return false;
    SetActive(type == QEvent::Show);
  } else if (CoversForm(window)) {
    // A window closing over the form hands activation back only when the
    // form is then the topmost modal window again.
    SetActive(type == QEvent::Hide && QApplication::activeModalWidget() == FForm);
  }
  return false;
}

void TFormActivation::SetActive(bool active) {
  if (active == FActive) return;
  FActive = active;
  const std::function<void()>& handler = active ? FActivate : FDeactivate;
  if (handler) handler();
}
