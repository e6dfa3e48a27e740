// The tray entry: where the desktop has a notification area, and where it
// has none (the offscreen platform).
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSystemTrayIcon>

#include "ListEntry.h"
#include "MainFormFixture.h"
#include "TestFs.h"
#include "TrayEntry.h"
#include "UiTestSupport.h"

TEST_F(MainFormTest, WithoutATrayMinimisingJustMinimises) {
  if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
  TMainForm& form = Make();
  form.show();
  form.setWindowState(Qt::WindowMinimized);
  QTest::qWait(50);
  EXPECT_FALSE(form.Tray->Added());
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

  // Presses reach the window after the icon's own event.
  void Click(QSystemTrayIcon::ActivationReason button) {
    emit Form->Tray->Icon->activated(button);
    QCoreApplication::processEvents();
  }
  bool InTray() const { return Form->Tray->Added() && Form->Tray->Icon->isVisible() && Form->isHidden(); }
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
  EXPECT_EQ(form.Tray->IconName, QStringLiteral("PAUSEICON"));
  // The designed tip, and under it the run's state.
  EXPECT_EQ(form.Tray->Icon->toolTip().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Korvane"));
  EXPECT_TRUE(form.Tray->Icon->toolTip().endsWith(QStringLiteral("已暂停"))) << form.Tray->Icon->toolTip().toStdString();

  Click(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(form.Status().Paused);
  EXPECT_EQ(form.Tray->IconName, QStringLiteral("MAINICON"));
  EXPECT_TRUE(WaitFor([&] {
    return form.Tray->Icon->toolTip().section(QLatin1Char('\n'), 0, 0) ==
               QStringLiteral("Korvane - ") + DisplayText(Counts().CurrentFile) &&
           form.Tray->Icon->toolTip().endsWith(QStringLiteral("正在校验"));
  }));
  Click(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(form.Status().Paused);
  Click(QSystemTrayIcon::DoubleClick);  // any other press: nothing
  EXPECT_TRUE(form.Status().Paused);

  // The right button brings the window back; the selection stays closed.
  Click(QSystemTrayIcon::Context);
  EXPECT_TRUE(WaitFor([&] { return form.isVisible() && !form.isMinimized(); }));
  EXPECT_FALSE(form.Tray->Added());
  EXPECT_FALSE(form.Tray->Icon->isVisible());
  QTest::qWait(400);  // a user looks at the window before minimising it again
  EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "selection"), 1);

  // Back in the tray, running: the end still shows "校验完成." and the
  // subtotal, and the window stays hidden.
  form.setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(WaitFor([&] { return InTray(); }, 5000));
  form.PauseButton->click();
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }, 20000));
  EXPECT_EQ(Seen, std::vector<TSeenMessage>{DoneMessage});
  EXPECT_TRUE(form.isHidden());
  // An ended run is no paused one: the normal icon, and the tip says how it ended.
  EXPECT_EQ(form.Tray->IconName, QStringLiteral("MAINICON"));
  EXPECT_TRUE(form.Tray->Icon->toolTip().endsWith(QStringLiteral("100% 校验完成"))) << form.Tray->Icon->toolTip().toStdString();
  Click(QSystemTrayIcon::Trigger);  // no run: nothing
  EXPECT_FALSE(form.Status().Paused);
}

// The whole program's window on a desktop with a window manager, driven by
// a user's clicks through the X server (xdotool): the path by which a right
// click once deleted the icon inside its own event, and by which a box of
// the program left it out of reach.
class RealDesktop : public RealTray {
 protected:
  void SetUp() override {
    RealTray::SetUp();
    if (IsSkipped() || HasFailure()) return;
    const bool ready = qEnvironmentVariableIsSet("KORVANE_WINDOW_MANAGER") &&
                       QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("version")}) == 0;
    if (ready) return;
    if (qgetenv("CI") == "true") FAIL() << "no window manager or no xdotool on this display";
    GTEST_SKIP() << "needs openbox and xdotool (tests/ui/with-tray.sh starts openbox)";
  }

  static void Xdo(const QStringList& words) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), words), 0) << words.join(' ').toStdString();
  }
  // Where the X server has the window now, in screen coordinates.
  static QPoint ScreenPosition(WId window) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QString::number(window)});
    xdotool.waitForFinished();
    const QString out = QString::fromLatin1(xdotool.readAllStandardOutput());
    const auto at = QRegularExpression(QStringLiteral("Position: (-?\\d+),(-?\\d+)")).match(out);
    return at.hasMatch() ? QPoint(at.captured(1).toInt(), at.captured(2).toInt()) : QPoint(-1, -1);
  }
  // Presses a mouse button on the middle of the icon, once the tray (along
  // the bottom edge) has taken it in: clicked earlier, the press would land
  // where the icon's window was before, on the desktop.
  void ClickIcon(int button) {
    QWidget* icon = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->inherits("QSystemTrayIconSys") && window->isVisible()) icon = window;
    ASSERT_NE(icon, nullptr) << "no icon in the tray";
    const int trayTop = icon->screen()->geometry().bottom() - 64;
    ASSERT_TRUE(WaitFor([&] { return ScreenPosition(icon->winId()).y() > trayTop; }, 5000));
    // Two presses closer together would be one double click.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    Xdo({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(icon->winId()),
         QString::number(icon->width() / 2), QString::number(icon->height() / 2),
         QStringLiteral("click"), QString::number(button)});
  }
  // As the title bar's button does: the window manager iconifies the window.
  // A request that comes while the window manager is still mapping the
  // window is lost, as a click on a title bar that is not there yet would
  // be; the user then clicks again.
  void Minimise() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      Xdo({QStringLiteral("windowminimize"), QString::number(Form->winId())});
      if (WaitFor([&] { return InTray(); }, 2000)) return;
    }
    FAIL() << "not in the tray";
  }
  static bool Back(QWidget* window) { return window->isVisible() && !window->isMinimized(); }
};

TEST_F(RealDesktop, ClicksInEveryStateNeverLoseTheProgramOrTheWindow) {
  // Far longer than the clicks take: the run ends when the test skips the file.
  TTestFs fs({{.Path = "d/a", .Size = 1LL << 32, .DelayMs = 5}, {.Path = "d/b", .Size = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.Message = ShowMessage;  // the real boxes, as the user sees them
  form.show();
  ASSERT_TRUE(WaitFor([&] { return Called("selection"); }));
  // The designed size is the outer one, the window manager's frame included.
  // On a machine under load the frame may come late; a window mapped before
  // the window manager was up gets none, and then there is nothing to check.
  if (WaitFor([&] { return form.frameGeometry().height() > form.height(); }, 10000)) {
    EXPECT_TRUE(WaitFor([&] { return form.frameGeometry().size() == QSize(480, 414); }, 3000))
        << form.frameGeometry().width() << "x" << form.frameGeometry().height();
  }
  Start({fs.PathOf("d/*")}, 4096);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  // Running: the right click that used to crash, three times over.
  for (int round = 0; round < 3; ++round) {
    Minimise();
    ClickIcon(3);
    // Settled: the window manager has also given it the focus back.
    ASSERT_TRUE(WaitFor([&] { return Back(&form) && !form.Tray->Added() && form.isActiveWindow(); }))
        << round;
  }
  // The left button pauses, with the paused icon, and resumes.
  Minimise();
  ClickIcon(1);
  EXPECT_TRUE(WaitFor([&] {
    return form.Run().State() == TRunState::Paused && form.Tray->IconName == "PAUSEICON";
  }));
  ClickIcon(1);
  EXPECT_TRUE(WaitFor([&] { return form.Run().State() == TRunState::Running; }));

  // The run ends in the tray: "校验完成." comes up alone; whatever is
  // minimised while it shows, the right click brings back the window and
  // the box over it.
  QWidget* box = nullptr;
  OnNextModal([&](QWidget* top) {
    box = top;
    EXPECT_TRUE(form.isHidden());
    ClickIcon(3);
    EXPECT_TRUE(WaitFor([&] { return Back(&form) && Back(box); }));
    Minimise();
    ClickIcon(1);  // ended: nothing to pause, and nothing breaks
    ClickIcon(3);
    EXPECT_TRUE(WaitFor([&] { return Back(&form) && Back(box); }));
    EXPECT_EQ(QApplication::activeModalWidget(), box);
    box->close();
  });
  form.Status().SkipFile = true;
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }, 20000));
  ASSERT_NE(box, nullptr);

  // More from the tray: starting shows the window.
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  Minimise();
  Start({fs.PathOf("d/b")});
  EXPECT_TRUE(Back(&form));
  EXPECT_FALSE(form.Tray->Added());
}
