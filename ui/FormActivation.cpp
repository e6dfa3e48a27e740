#include "FormActivation.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

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
