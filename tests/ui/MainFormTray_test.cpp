// The tray entry: where the desktop has a notification area, and where it
// has none (the offscreen platform).
#include <QPushButton>
#include <QSystemTrayIcon>

#include "ListEntry.h"
#include "MainFormFixture.h"
#include "TestFs.h"

TEST_F(MainFormTest, WithoutATrayMinimisingJustMinimises) {
  if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
  TMainForm& form = Make();
  form.show();
  form.setWindowState(Qt::WindowMinimized);
  QTest::qWait(50);
  EXPECT_FALSE(form.TrayIconAdded);
  EXPECT_TRUE(form.isMinimized());
  EXPECT_TRUE(form.isVisible());  // still on the task bar, not hidden
  form.showNormal();
  EXPECT_FALSE(form.isMinimized());
  EXPECT_TRUE(form.isVisible());
}

// Run by the korvane_ui_tray test, under Xvfb with a small tray program.
class RealTray : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    if (QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 3000)) return;
    if (qgetenv("CI") == "true") FAIL() << "no notification area on this display";
    GTEST_SKIP() << "no notification area here; tests/ui/with-tray.sh provides one (Xvfb, trayer)";
  }

  void Click(QSystemTrayIcon::ActivationReason button) { emit Form->TrayIcon->activated(button); }
  bool InTray() const { return Form->TrayIconAdded && Form->TrayIcon->isVisible() && Form->isHidden(); }
};

TEST_F(RealTray, PauseResumeRestoreAndARunThatEndsInTheTray) {
  TTestFs fs({{.Path = "d/a", .Size = 1 << 20, .DelayMs = 4}, {.Path = "d/b", .Size = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  ASSERT_TRUE(WaitFor([&] { return Called("selection"); }));
  Start({fs.PathOf("d/*")}, 4096);
  ASSERT_TRUE(WaitFor([&] { return Counts().Position > 0; }));

  // Minimised while paused: the pause icon and the plain tip.
  form.PauseButton->click();
  form.setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(WaitFor([&] { return InTray(); }, 5000));
  EXPECT_EQ(form.TrayIconName, QStringLiteral("PAUSEICON"));
  EXPECT_EQ(form.TrayIcon->toolTip(), QStringLiteral("Korvane"));

  Click(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(form.Status().Paused);
  EXPECT_EQ(form.TrayIconName, QStringLiteral("MAINICON"));
  EXPECT_TRUE(WaitFor([&] {
    return form.TrayIcon->toolTip() == QStringLiteral("Korvane - ") + DisplayText(Counts().CurrentFile);
  }));
  Click(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(form.Status().Paused);
  Click(QSystemTrayIcon::DoubleClick);  // any other press: nothing
  EXPECT_TRUE(form.Status().Paused);

  // The right button brings the window back; the selection stays closed.
  Click(QSystemTrayIcon::Context);
  EXPECT_TRUE(WaitFor([&] { return form.isVisible() && !form.isMinimized(); }));
  EXPECT_FALSE(form.TrayIconAdded);
  EXPECT_FALSE(form.TrayIcon->isVisible());
  QTest::qWait(50);
  EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "selection"), 1);

  // Back in the tray, running: the end still shows "校验完成." and the
  // subtotal, and the window stays hidden.
  form.setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(WaitFor([&] { return InTray(); }, 5000));
  form.PauseButton->click();
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }, 20000));
  EXPECT_EQ(Seen, std::vector<TSeenMessage>{DoneMessage});
  EXPECT_TRUE(form.isHidden());
  EXPECT_EQ(form.TrayIconName, QStringLiteral("PAUSEICON"));
  Click(QSystemTrayIcon::Trigger);  // no run: nothing
  EXPECT_FALSE(form.Status().Paused);
}
