#include "LauncherEntry.h"

#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

TLauncherEntry::TLauncherEntry(QDBusConnection bus) : Bus(std::move(bus)) {}

void TLauncherEntry::ShowProgress(double fraction) {
  const int permille = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 1000));
  if (Visible && permille == SentPermille) return;
  SentPermille = permille;
  Send(permille / 1000.0, true);
}

void TLauncherEntry::HideProgress() {
  if (!Visible) return;
  SentPermille = -1;
  Send(0, false);
}

void TLauncherEntry::Send(double fraction, bool visible) {
  Visible = visible;
  if (!Bus.isConnected()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/korvane/Korvane"),
                                                   QString::fromLatin1(Interface),
                                                   QStringLiteral("Update"));
  const QVariantMap properties{{QStringLiteral("progress"), fraction},
                               {QStringLiteral("progress-visible"), visible}};
  signal << QString::fromLatin1(ApplicationUri) << properties;
  Bus.send(signal);
}
