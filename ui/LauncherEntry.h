#pragma once
// The run's overall fraction on the task bar's button, for the desktops
// that show it (KDE Plasma, dash-to-dock and the like): they listen on the
// session bus for com.canonical.Unity.LauncherEntry's Update signal. A
// signal costs nothing where no one listens, and without a session bus
// nothing is sent at all.
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

class TLauncherEntry {
 public:
  static constexpr const char* Interface = "com.canonical.Unity.LauncherEntry";
  // The desktop file the task bar knows the program by.
  static constexpr const char* ApplicationUri = "application://korvane.desktop";

  explicit TLauncherEntry(QDBusConnection bus = QDBusConnection::sessionBus());

  // fraction in 0..1; sent only when it has changed by a thousandth, and
  // at most once every MinIntervalMs (a later change waits for its turn),
  // so that a run of millions of files does not flood the bus.
  void ShowProgress(double fraction);
  // The last fraction still waiting goes out first.
  void HideProgress();

  static constexpr int MinIntervalMs = 250;

 private:
  void SendPending();
  void Send(double fraction, bool visible);

  QDBusConnection Bus;
  int SentPermille = -1;
  int PendingPermille = -1;
  bool Visible = false;
  QElapsedTimer SentAt;
  QTimer Delay;
};
