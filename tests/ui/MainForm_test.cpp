// The progress window with the real worker on real files.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "CubicLabel.h"
#include "ElidedLabel.h"
#include "MainFormFixture.h"
#include "SearchAnimation.h"
#include "TestFs.h"

namespace {

// The next widget the tab key reaches.
QWidget* NextTab(QWidget* widget) {
  do widget = widget->nextInFocusChain();
  while (!(widget->focusPolicy() & Qt::TabFocus));
  return widget;
}

}  // namespace

TEST_F(MainFormTest, CreationFillsTheWindowAndReadsTheCommandLine) {
  TMainForm& form = Make({"-S-", "-P512", "/data/*.*"});
  EXPECT_FALSE(form.Setup().AllSubdirectories);
  EXPECT_EQ(form.Setup().ReadUnit, 512);
  EXPECT_EQ(form.Setup().VerifyList, std::vector<std::string>{"/data/*.*"});
  EXPECT_EQ(form.TitleLabel->text(), QStringLiteral("Korvane3.1版"));
  EXPECT_EQ(form.FileSizeLabel->text(), QStringLiteral("0 字节"));
  EXPECT_EQ(form.TotalSizeLabel->text(), QStringLiteral("0 字节"));
  EXPECT_EQ(form.ProgressBar->maximum(), 100);

  form.show();
  EXPECT_EQ(form.frameGeometry().size(), QSize(480, 414));
  // Tab order Skip file, Pause, Stop, Skip directory.
  EXPECT_EQ(NextTab(form.SkipButton), form.PauseButton);
  EXPECT_EQ(NextTab(form.PauseButton), form.StopButton);
  EXPECT_EQ(NextTab(form.StopButton), form.SkipDirButton);
  // A long name is clipped, it does not widen the window.
  const int width = form.width();
  form.CurrentFileLabel->setText(QString(300, QLatin1Char('n')));
  QApplication::processEvents();
  EXPECT_EQ(form.width(), width);
  EXPECT_LE(form.CurrentFileLabel->geometry().right(), form.FilePanel->width());
  // A long path loses its middle, so that the file name stays in view.
  const auto* path = qobject_cast<TElidedLabel*>(form.LastErrorFileLabel);
  ASSERT_NE(path, nullptr);
  form.LastErrorFileLabel->setText(QStringLiteral("/media/usb/") + QString(200, QLatin1Char('d')) +
                                   QStringLiteral("/报告.dat"));
  EXPECT_TRUE(path->ShownText().startsWith(QStringLiteral("/media/")));
  EXPECT_TRUE(path->ShownText().endsWith(QStringLiteral("/报告.dat")));
  EXPECT_TRUE(path->ShownText().contains(QChar(0x2026)));
  EXPECT_EQ(path->toolTip(), QString());  // set when painted
}

// A run that ends by itself, then a second one over other files, as the
// subtotal's "verify more" starts it.
TEST_F(MainFormTest, RunThatEndsShowsDoneThenSubtotalAndASecondRunCountsFromZero) {
  TTestFs fs({{.Path = "d/good", .Size = 1234567},
              {.Path = "d/bad", .Size = 8192, .ErrorAt = 4096},
              {.Path = "d/sub/more", .Size = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  bool closedBeforeSubtotal = false;
  form.ShowSubtotal = [&] {
    Calls.push_back("subtotal");
    // The worker's closing section is over: the summary is in the log.
    closedBeforeSubtotal = form.Status().Idle && form.Status().Log.back().rfind("总计时间", 0) == 0;
  };
  form.show();
  Start({fs.PathOf("d/*")});
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }));
  EXPECT_EQ(Seen, std::vector<TSeenMessage>{DoneMessage});
  EXPECT_TRUE(closedBeforeSubtotal);
  EXPECT_EQ(form.FilesOkLabel->text(), QStringLiteral("2"));
  EXPECT_EQ(form.FilesErrorLabel->text(), QStringLiteral("1"));
  EXPECT_EQ(form.TotalSizeLabel->text(), QStringLiteral("1,234,577字节"));
  EXPECT_EQ(form.LastErrorFileLabel->text(), QString::fromStdString(fs.PathOf("d/bad")));
  EXPECT_FALSE(form.LastErrorMessageLabel->text().isEmpty());

  // An empty file: "0/0字节" and an empty bar, not a busy one.
  Dir.WriteFile("empty", "");
  Calls.clear();
  Seen.clear();
  Start({Dir.PathOf("empty")});
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }));
  EXPECT_EQ(Seen, std::vector<TSeenMessage>{DoneMessage});
  EXPECT_EQ(form.FilesOkLabel->text(), QStringLiteral("1"));
  EXPECT_EQ(form.FileSizeLabel->text(), QStringLiteral("0/0字节"));
  EXPECT_EQ(form.ProgressBar->value(), form.ProgressBar->minimum());
  EXPECT_GT(form.ProgressBar->maximum(), form.ProgressBar->minimum());

  // A failed file stays at the unit that failed, not at a full bar.
  Calls.clear();
  Start({fs.PathOf("d/bad")}, 1024);
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }));
  EXPECT_EQ(form.FileSizeLabel->text(), QStringLiteral("4,096/8,192字节"));
  EXPECT_EQ(form.ProgressBar->value() * 2, form.ProgressBar->maximum());
}

// Pause, skips and stop on files slow enough to be caught half read.
TEST_F(MainFormTest, PauseSkipAndStopActOnTheRunningWorker) {
  TTestFs fs({{.Path = "d1/a1", .Size = 1 << 20, .DelayMs = 10},
              {.Path = "d1/a2", .Size = 1 << 20, .DelayMs = 10},
              {.Path = "d2/b1", .Size = 1 << 20, .DelayMs = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  Start({fs.PathOf("d1/*"), fs.PathOf("d2/*")}, 4096);
  ASSERT_TRUE(WaitFor([&] { return Counts().Position > 0 && form.FileSizeLabel->text() != "0 字节"; }));

  // Enter pauses: the pause button is the default one.
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(form.PauseButton->text(), QStringLiteral("恢复(&R)"));
  EXPECT_TRUE(form.Status().Paused);
  EXPECT_FALSE(form.Timer->isActive());
  EXPECT_FALSE(form.Animate->Active());
  QTest::qWait(50);  // the read under way when the pause came ends
  const QString frozen = form.FileSizeLabel->text();
  const std::int64_t position = Counts().Position;
  form.SkipButton->click();  // acted on only once resumed
  QTest::qWait(150);
  EXPECT_EQ(form.FileSizeLabel->text(), frozen);
  EXPECT_EQ(Counts().Position, position);
  EXPECT_EQ(Counts().FilesSkipped, 0);

  form.PauseButton->click();
  EXPECT_EQ(form.PauseButton->text(), QStringLiteral("暂停(&P)"));
  EXPECT_TRUE(form.Animate->Active());
  EXPECT_EQ(form.Animate->Frame(), 0);
  ASSERT_TRUE(WaitFor([&] { return Counts().FilesSkipped == 1; }));
  ASSERT_TRUE(WaitFor([&] { return form.FileSizeLabel->text() != frozen; }));

  // Stop, No, while paused: the run goes on.
  form.PauseButton->click();
  Answer = [](const TSeenMessage&) { return false; };
  form.StopButton->click();
  EXPECT_EQ(Seen.back(), (TSeenMessage{QStringLiteral("警告"), QStringLiteral("你要中止校验?"),
                                       TMessageKind::Question}));
  EXPECT_EQ(form.PauseButton->text(), QStringLiteral("暂停(&P)"));
  EXPECT_FALSE(form.Status().Paused);
  EXPECT_TRUE(form.Timer->isActive());

  // Skipping the first item's directory moves on to the second item.
  form.SkipDirButton->click();
  ASSERT_TRUE(WaitFor([&] { return Counts().DirsSkipped == 1 && Counts().CurrentFile == "b1"; }));

  // Stop, Yes: the subtotal without "校验完成.", once the worker has gone.
  Answer = [](const TSeenMessage&) { return true; };
  form.StopButton->click();
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }));
  EXPECT_EQ(SeenCount("校验完成."), 0);
  EXPECT_TRUE(form.Status().Idle);
  EXPECT_EQ(Counts().Log.back().rfind("总计时间", 0), 0u);
  EXPECT_NE(std::find(Counts().Log.begin(), Counts().Log.end(), "进程被用户中止."), Counts().Log.end());
  // The pause button does nothing while no run goes on, a second stop
  // neither crashes nor hangs.
  form.PauseButton->click();
  EXPECT_FALSE(form.Status().Paused);
  form.StopButton->click();
  QTest::qWait(50);
  EXPECT_EQ(SeenCount("校验完成."), 0);
}

TEST_F(MainFormTest, CloseEndsTheProgramOnlyOnYesAndWithoutSubtotal) {
  TTestFs fs({{.Path = "slow", .Size = 1 << 20, .DelayMs = 20}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  Start({fs.PathOf("slow")}, 4096);
  Answer = [](const TSeenMessage&) { return false; };
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.Status().Paused);
  EXPECT_TRUE(form.Timer->isActive());
  EXPECT_EQ(Seen.back().Text, QStringLiteral("你要退出Korvane?"));

  Answer = [](const TSeenMessage&) { return true; };
  QTimer::singleShot(0, &form, [&] { form.close(); });
  QTimer::singleShot(10000, &form, [] { QCoreApplication::exit(1); });  // never ended
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.Status().Idle);
  EXPECT_FALSE(Called("subtotal"));
  EXPECT_EQ(SeenCount("校验完成."), 0);
}

// A listed size beyond 2 GiB: the labels show the true size, the bar a
// scaled one that still fits.
TEST_F(MainFormTest, FileOverTwoGibibytesShowsSaneValues) {
  const std::int64_t size = 3LL << 30;
  TTestFs fs({{.Path = "big", .Size = size, .DelayMs = 5}});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  Start({fs.PathOf("big")});
  ASSERT_TRUE(WaitFor([&] { return form.ProgressBar->value() > 0; }));
  form.PauseVerify();
  const std::int64_t position = Counts().Position;
  EXPECT_EQ(form.FileSizeLabel->text(), CountText(position) + QStringLiteral("/3,221,225,472字节"));
  EXPECT_LE(form.ProgressBar->value(), form.ProgressBar->maximum());
  EXPECT_NEAR(double(form.ProgressBar->value()) / form.ProgressBar->maximum(),
              double(position) / double(size), 1e-6);
  form.StopVerify();
}

TEST(ProgressView, TextsBarAndTrayTip) {
  EXPECT_EQ(FileSizeText(1234567, 7654321), QStringLiteral("1,234,567/7,654,321字节"));
  EXPECT_EQ(TotalSizeText(0), QStringLiteral("0字节"));
  EXPECT_EQ(CountText(-1234), QStringLiteral("-1,234"));

  const struct {
    std::int64_t Position, Size;
    int Maximum, Value;
  } bars[] = {{50, 100, 100, 50},   {0, 0, 1, 0},     {7, 0, 1, 0},
              {-5, 10, 10, 0},     {20, 10, 10, 10}, {3LL << 30, 4LL << 30, 1 << 30, 3 << 28}};
  for (const auto& b : bars) {
    const TBarValues v = BarValues(b.Position, b.Size);
    EXPECT_EQ(v.Maximum, b.Maximum) << b.Position << "/" << b.Size;
    EXPECT_EQ(v.Position, b.Value) << b.Position << "/" << b.Size;
  }

  std::string cjk;
  while (cjk.size() < 200) cjk += "校验";
  const struct {
    std::string Name;
    std::string Tip;
  } tips[] = {
      {"a.txt", "Korvane - a.txt"},
      {std::string(100, 'x'), "Korvane - " + std::string(53, 'x')},
      // 53 bytes left: 17 characters of 3 bytes, never 17 and a piece.
      {cjk, "Korvane - " + cjk.substr(0, 51)},
      {"x" + cjk, "Korvane - x" + cjk.substr(0, 51)},
      {"\xff\xfe", "Korvane - \xff\xfe"},
  };
  for (const auto& t : tips) {
    EXPECT_EQ(TrayTipOf(t.Name), t.Tip);
    EXPECT_LE(TrayTipOf(t.Name).size(), TrayTipLimit);
  }
}
