#include "DesktopNotice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

TDesktopNotice::TDesktopNotice(QObject* parent)
    : TDesktopNotice(QDBusConnection::sessionBus(), parent) {}

TDesktopNotice::TDesktopNotice(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), FBus(bus) {
  if (!FBus.isConnected()) return;
  FBus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
               SLOT(ActionInvoked(uint, QString)));
}

QString TDesktopNotice::CountsText(qint64 filesOk, qint64 filesError) {
  return QStringLiteral("正确 %1, 错误 %2").arg(filesOk).arg(filesError);
}

void TDesktopNotice::RunDone(qint64 filesOk, qint64 filesError, const QString& unchecked) {
  if (!FBus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
  // "default" is the action of a click on the notification itself.
  call << QStringLiteral("Korvane") << FId << QStringLiteral("korvane")
       << QStringLiteral("校验完成")
       << CountsText(filesOk, filesError) + (unchecked.isEmpty() ? QString() : QLatin1Char('\n') + unchecked)
       << QStringList{QStringLiteral("default"), QStringLiteral("显示")} << QVariantMap() << -1;
  auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
    const QDBusPendingReply<uint> reply = *done;
    // No service, or one that failed: the run's end is still in the window.
    if (reply.isValid()) FId = reply.value();
    done->deleteLater();
  });
}

void TDesktopNotice::ActionInvoked(uint id, const QString& action) {
  if (id != 0 && id == FId && action == QStringLiteral("default")) emit Clicked();
}
