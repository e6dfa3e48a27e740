#pragma once
// The line under the progress window's buttons: how much of the whole run
// is done and how long is left, as the terminal's progress line says it.
// It also puts the fraction on the task bar's button.
#include <QElapsedTimer>
#include <QLabel>

#include "LauncherEntry.h"
#include "VerifyStatus.h"

class TOverallProgressLine : public QLabel {
  Q_OBJECT

 public:
  explicit TOverallProgressLine(QWidget* parent = nullptr,
                                QDBusConnection bus = QDBusConnection::sessionBus());

  void RunStarted();
  void Show(const TStatusSnapshot& shot);
  void RunEnded();

 private:
  QElapsedTimer Clock;
  TLauncherEntry TaskBar;
};
