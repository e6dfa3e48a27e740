#include "TrayEntry.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "ResourceUnit.h"

namespace {

// How often a removal waits for the mouse buttons to be let go.
constexpr int ReleasePoll = 20;

// The window Qt's X11 tray icon draws in and takes the presses on; none
// on other desktops, whose trays take no presses through windows of ours.
QWindow* IconWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->inherits("QSystemTrayIconSys") && widget->isVisible()) return widget->windowHandle();
  return nullptr;
}

}  // namespace

TTrayEntry::TTrayEntry(QObject* parent) : QObject(parent), Icon(new QSystemTrayIcon(this)) {
  connect(Icon, &QSystemTrayIcon::activated, this, &TTrayEntry::Clicked, Qt::QueuedConnection);
  qApp->installEventFilter(this);
}

bool TTrayEntry::Add(const QString& iconName, const QString& tip) {
  if (FAdded) return true;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  IconName = iconName;
  Icon->setIcon(LoadIconResource(iconName));
  Icon->setToolTip(tip);
  Icon->show();  // or kept, when it had not yet gone
  FAdded = Icon->isVisible();
  FollowModalWindow();
  return FAdded;
}

void TTrayEntry::Remove() {
  if (!FAdded) return;
  FAdded = false;
  HideWhenReleased();
}

void TTrayEntry::HideWhenReleased() {
  if (FAdded) return;  // added again meanwhile: the icon stays
  // Hiding deletes the icon's window. Deleted between the press and the
  // release of a button, it would take the release with it, and Qt would
  // take the button as held and the next press on the icon as a move.
  if (QGuiApplication::mouseButtons() != Qt::NoButton) {
    QTimer::singleShot(ReleasePoll, this, [this] { HideWhenReleased(); });
    return;
  }
  Icon->hide();
}

void TTrayEntry::Update(const QString& iconName, const QString& tip) {
  if (!FAdded) return;
  if (iconName != IconName) {
    IconName = iconName;
    Icon->setIcon(LoadIconResource(iconName));
  }
  if (tip != Icon->toolTip()) Icon->setToolTip(tip);
}

bool TTrayEntry::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->isModal())
    // Once Qt has updated its list of modal windows.
    QTimer::singleShot(0, this, [this] { FollowModalWindow(); });
  return false;
}

void TTrayEntry::FollowModalWindow() {
  QWindow* icon = IconWindow();
  if (!icon) return;
  QWidget* modal = QApplication::activeModalWidget();
  QWindow* top = modal ? modal->windowHandle() : nullptr;
  if (icon->transientParent() != top) icon->setTransientParent(top);
}
