// The desktop's own services around a run of the window program: the sleep
// lock while it goes on and the notification at its end, against the
// recording stand-ins of tests/support/with-bus.sh (korvane_ui_desktop_bus).
#include "BusRecord.h"
#include "MainFormFixture.h"
#include "TestFs.h"

namespace {

const std::string Taken = "Inhibit sleep Korvane 校验文件 block";
const std::string Released = "Released sleep";
const std::string Notice = "Notify Korvane 校验完成 正确 1, 错误 1 default|显示";

class DesktopBus : public MainFormTest {};

}  // namespace

TEST_F(DesktopBus, SleepLockForTheRunAndANoticeThatBringsTheWindowBack) {
  KORVANE_REQUIRE_BUS();
  TTestFs fs({{.Path = "d/a", .Size = 1 << 20, .DelayMs = 20}, {.Path = "d/b", .Size = 10, .ErrorAt = 0}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  // The user turns to another window while the run goes on.
  Start({fs.PathOf("d/*")}, 65536);
  EXPECT_TRUE(WaitFor([&] { return BusRecordCount(Taken) == 1; }));
  EXPECT_EQ(BusRecordCount(Released), 0);
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }));
  EXPECT_TRUE(WaitFor([&] { return BusRecordCount(Released) == 1; }));
  EXPECT_TRUE(WaitFor([&] { return BusRecordCount(Notice) == 1; }));
  // The stand-in clicks the notification: the window comes back.
  EXPECT_TRUE(WaitFor([&] { return form.isActiveWindow(); }));

  // Ending in front of the user: no notice.
  Calls.clear();
  Start({fs.PathOf("d/b")});
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }));
  EXPECT_TRUE(WaitFor([&] { return BusRecordCount(Released) == 2; }));
  QTest::qWait(300);
  EXPECT_EQ(BusRecordCount(Notice), 1);
  EXPECT_EQ(BusRecordCount(Taken), 2);
}
