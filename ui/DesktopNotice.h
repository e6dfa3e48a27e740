#pragma once
// Tells the desktop that a run has ended, for a user who is elsewhere: a
// notification over the desktop's notification service on the session
// bus. Where no service answers, nothing happens.
#include <QDBusConnection>
#include <QObject>
#include <QString>

class TDesktopNotice : public QObject {
  Q_OBJECT

 public:
  // On the user's session bus.
  explicit TDesktopNotice(QObject* parent = nullptr);
  TDesktopNotice(const QDBusConnection& bus, QObject* parent);

  // "校验完成" with the counts and, on a line of its own, what was not
  // checked (when unchecked is not empty); returns at once, whatever the
  // bus does.
  void RunDone(qint64 filesOk, qint64 filesError, const QString& unchecked = {});

  static QString CountsText(qint64 filesOk, qint64 filesError);

 signals:
  // The user clicked the notification.
  void Clicked();

 private slots:
  void ActionInvoked(uint id, const QString& action);

 private:
  QDBusConnection FBus;
  uint FId = 0;  // the notification shown last; 0: none
};
