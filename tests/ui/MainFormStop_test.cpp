// A stop and a close while a read hangs on the medium: the window answers
// at once and goes on when the worker has ended.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include "MainFormFixture.h"
#include "TestFs.h"

namespace {

// Far above what an answering window needs, far below the hanging read.
constexpr qint64 AnswerLimitMs = 100;
constexpr int HangMs = 1500;

// How long an action keeps the event loop from the caller.
template <typename Action>
qint64 MillisecondsOf(Action&& action) {
  QElapsedTimer clock;
  clock.start();
  action();
  return clock.elapsed();
}

}  // namespace

TEST_F(MainFormTest, StopAndCloseAnswerWhileAReadHangs) {
  TTestFs fs({{.Path = "hang", .Size = 1 << 20, .DelayMs = HangMs}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  const auto startInsideTheRead = [&] {
    Start({fs.PathOf("hang")}, 4096);
    ASSERT_TRUE(WaitFor([&] { return Counts().CurrentFile == "hang"; }));
  };

  // Stop, Yes: the stopping state at once, the subtotal once the read returns.
  startInsideTheRead();
  EXPECT_LT(MillisecondsOf([&] { form.StopButton->click(); }), AnswerLimitMs);
  EXPECT_EQ(form.Run().State(), TRunState::Stopping);
  EXPECT_FALSE(form.StopButton->isEnabled());
  EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral("正在停止...")));
  EXPECT_FALSE(Called("subtotal"));
  // The skips are flags for the worker: they never wait either.
  EXPECT_LT(MillisecondsOf([&] { form.Status().SkipFile = true; }), AnswerLimitMs);
  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
  tick.start(10);
  QElapsedTimer waited;
  waited.start();
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }, 4 * HangMs));
  // The loop ran all the while (the worker may leave the hanging read at
  // once): a tenth of the ticks it had time for, timers being late under
  // a sanitizer on a busy machine.
  EXPECT_GE(ticks, waited.elapsed() / 100);
  EXPECT_EQ(form.Run().State(), TRunState::Idle);
  EXPECT_TRUE(form.StopButton->isEnabled());
  EXPECT_EQ(SeenCount("校验完成."), 0);

  // Close, Yes: the window stays and says it is stopping; the program ends
  // only once the worker has.
  startInsideTheRead();
  qint64 closeTook = -1;
  bool shownWhileStopping = false;
  QTimer::singleShot(0, &form, [&] {
    closeTook = MillisecondsOf([&] { form.close(); });
    shownWhileStopping = form.isVisible() && form.Run().State() == TRunState::Stopping;
  });
  QTimer::singleShot(4 * HangMs, &form, [] { QCoreApplication::exit(1); });  // never ended
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_GE(closeTook, 0);
  EXPECT_LT(closeTook, AnswerLimitMs);
  EXPECT_TRUE(shownWhileStopping);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.Status().Idle);
  EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "subtotal"), 1);
}
