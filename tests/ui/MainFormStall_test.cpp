// The progress window and a read that hangs in the kernel: the file-size
// label says so, and the skip button leaves the read at once.
#include <QLabel>
#include <QPushButton>

#include "MainFormFixture.h"
#include "OverallProgressLine.h"
#include "TestFs.h"

TEST_F(MainFormTest, StalledReadShownAndSkippedAtOnce) {
  constexpr std::int64_t MiB = 1 << 20;
  TTestFs fs({{.Path = "d/hang.bin", .Size = 4 * MiB, .SlowRegions = {{MiB, MiB + 1, 60000}}},
              {.Path = "d/next.bin", .Size = 1000}},
             {}, {.Threaded = true});
  KORVANE_REQUIRE_FUSE(fs);
  TMainForm& form = Make();
  form.show();
  Start({fs.PathOf("d/*")});
  ASSERT_TRUE(WaitFor([&] { return form.FileSizeLabel->text().contains("读取已停滞 3 秒"); }))
      << form.FileSizeLabel->text().toStdString();
  EXPECT_TRUE(form.FileSizeLabel->text().startsWith("1,048,576/4,194,304字节"))
      << form.FileSizeLabel->text().toStdString();
  // The whole run's line: the rate of the last seconds falls to nothing,
  // and when the run will end cannot be known.
  EXPECT_TRUE(WaitFor([&] { return form.OverallLine->toolTip().endsWith(" 0 B/s 剩余时间未知"); }))
      << form.OverallLine->toolTip().toStdString();
  form.SkipButton->click();
  ASSERT_TRUE(WaitFor([&] { return Called("subtotal"); }, 2000)) << "the skip must not wait";
  EXPECT_EQ(Counts().FilesSkipped, 1);
  EXPECT_EQ(form.FilesOkLabel->text(), QStringLiteral("1"));
  EXPECT_FALSE(form.FileSizeLabel->text().contains("停滞"));
}
