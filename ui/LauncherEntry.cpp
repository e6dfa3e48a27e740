#include "LauncherEntry.h"

#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

TLauncherEntry::TLauncherEntry(QDBusConnection bus) : Bus(std::move(bus)) {
  Delay.setSingleShot(true);
  QObject::connect(&Delay, &QTimer::timeout, &Delay, [this] { SendPending(); });
}

void TLauncherEntry::ShowProgress(double fraction) {
  const int permille = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 1000));
  if (Visible && permille == SentPermille) {
    PendingPermille = -1;
    return;
  }
  PendingPermille = permille;
  const qint64 since = SentAt.isValid() ? SentAt.elapsed() : MinIntervalMs;
  if (since >= MinIntervalMs)
    SendPending();
  else if (!Delay.isActive())
    Delay.start(static_cast<int>(MinIntervalMs - since));
}

void TLauncherEntry::SendPending() {
  if (PendingPermille < 0) return;
  SentPermille = PendingPermille;
  PendingPermille = -1;
  Send(SentPermille / 1000.0, true);
}

void TLauncherEntry::HideProgress() {
  SendPending();
  Delay.stop();
  if (!Visible) return;
  SentPermille = -1;
  Send(0, false);
}

void TLauncherEntry::Send(double fraction, bool visible) {
  Visible = visible;
  SentAt.start();
  if (!Bus.isConnected()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/korvane/Korvane"),
                                                   QString::fromLatin1(Interface),
                                                   QStringLiteral("Update"));
  const QVariantMap properties{{QStringLiteral("progress"), fraction},
                               {QStringLiteral("progress-visible"), visible}};
  signal << QString::fromLatin1(ApplicationUri) << properties;
  Bus.send(signal);
}
