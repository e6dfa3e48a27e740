// The whole run's progress in the progress window, and the fraction sent to
// the task bar over a private session bus.
#include <QDBusConnection>
#include <QProcess>
#include <QPushButton>

#include "LauncherEntry.h"
#include "MainFormFixture.h"
#include "OverallProgressLine.h"
#include "TestFs.h"

TEST_F(MainFormTest, OverallLineShowsTheCountedTreeUnderTheButtons) {
  // Two quick files and one slow one: the count is complete long before the
  // run (the test filesystem answers one request at a time, so short reads
  // leave room for the count's).
  TTestFs fs({{.Path = "a", .Size = 1024},
              {.Path = "sub/b", .Size = 2048},
              {.Path = "sub/slow", .Size = 60 * 1024, .DelayMs = 50}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  const QRect buttons = form.StopButton->geometry();
  Start({fs.PathOf("*.*")}, 1024);
  ASSERT_TRUE(WaitFor([&] { return form.OverallLine->text().contains(QStringLiteral("/63.0 KiB 2/3 个文件")); }))
      << form.OverallLine->text().toStdString();
  EXPECT_FALSE(form.OverallLine->text().contains(QStringLiteral("≥")));
  EXPECT_GT(form.OverallLine->y(), buttons.bottom());
  EXPECT_EQ(form.StopButton->geometry(), buttons);
  EXPECT_EQ(form.OverallLine->font(), form.FilesOkLabel->font());
  // The window's last look at the run shows all of it.
  EXPECT_TRUE(WaitFor([&] {
    return form.OverallLine->text().startsWith(QStringLiteral("100% 63.0/63.0 KiB 3/3 个文件 "));
  })) << form.OverallLine->text().toStdString();
}

namespace {

// A session bus of the test's own, with dbus-monitor recording what is sent.
class TPrivateBus {
 public:
  TPrivateBus() {
    Daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!Daemon.waitForReadyRead(5000)) return;
    Address = QString::fromUtf8(Daemon.readLine()).trimmed();
    Monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--address"), Address,
                   QStringLiteral("type='signal',interface='com.canonical.Unity.LauncherEntry'")});
    Monitor.waitForStarted();
    // The monitor is ready once it has said hello to the bus.
    Monitor.waitForReadyRead(5000);
  }
  ~TPrivateBus() {
    QDBusConnection::disconnectFromBus(QStringLiteral("launcher-test"));
    for (QProcess* process : {&Monitor, &Daemon}) {
      process->kill();
      process->waitForFinished();
    }
  }
  QDBusConnection Connect() const { return QDBusConnection::connectToBus(Address, QStringLiteral("launcher-test")); }
  // What the monitor has printed, once it shows this many updates (or
  // after five seconds).
  QString Recorded(int updates) {
    // Too few after the wait is for the caller's check to report.
    (void)QTest::qWaitFor([&] {
      Seen += QString::fromUtf8(Monitor.readAllStandardOutput());
      return Seen.count(QStringLiteral("member=Update")) >= updates;
    }, 5000);
    return Seen;
  }
  QString Address;

 private:
  QProcess Daemon;
  QProcess Monitor;
  QString Seen;
};

}  // namespace

TEST(LauncherEntry, SendsTheFractionOnlyWhenItChangesAndNothingWithoutABus) {
  TPrivateBus bus;
  if (bus.Address.isEmpty()) GTEST_SKIP() << "no dbus-daemon";
  {
    TLauncherEntry entry(bus.Connect());
    entry.ShowProgress(0.25);
    entry.ShowProgress(0.2504);  // the same thousandth: not sent again
    entry.ShowProgress(0.5);
    entry.HideProgress();
    entry.HideProgress();  // already hidden
  }
  const QString recorded = bus.Recorded(3);
  EXPECT_EQ(recorded.count(QStringLiteral("member=Update")), 3) << recorded.toStdString();
  for (const char* part : {"string \"application://korvane.desktop\"", "double 0.25", "double 0.5",
                           "boolean true", "boolean false", "string \"progress-visible\""})
    EXPECT_TRUE(recorded.contains(QString::fromUtf8(part))) << part << "\n" << recorded.toStdString();

  TLauncherEntry nowhere(QDBusConnection(QStringLiteral("no such bus")));
  nowhere.ShowProgress(0.5);
  nowhere.HideProgress();
}
