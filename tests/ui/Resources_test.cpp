// The icons, the logo and the searching animation.
#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

#include "ResourceUnit.h"
#include "SearchAnimation.h"
#include "UiTestSupport.h"

namespace {

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).alpha() > 0) ++count;
  return count;
}

QImage AnimationFrame(int frame) {
  QImage image(160, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter canvas(&image);
  TSearchAnimation::DrawFrame(canvas, QRectF(image.rect()), frame);
  return image;
}

}  // namespace

TEST(Resources, IconsAtTaskBarSizes) {
  const QIcon running = LoadIconResource(QStringLiteral("MAINICON"));
  const QIcon paused = LoadIconResource(QStringLiteral("PAUSEICON"));
  ASSERT_FALSE(running.isNull());
  ASSERT_FALSE(paused.isNull());
  EXPECT_TRUE(LoadIconResource(QStringLiteral("NOICON")).isNull());
  for (int size : {16, 22, 32}) {
    const QImage a = running.pixmap(size, size).toImage();
    const QImage b = paused.pixmap(size, size).toImage();
    EXPECT_EQ(a.size(), QSize(size, size));
    // Most of the square is drawn, and the two states look different.
    EXPECT_GT(OpaquePixels(a), size * size / 2) << size;
    EXPECT_NE(a, b) << size;
  }
}

TEST(Resources, LogoIsStretchedToItsFrame) {
  TPictureImage logo(QString::fromLatin1(LogoResource));
  ASSERT_TRUE(logo.Loaded());
  logo.resize(265, 289);
  QImage image(logo.size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  logo.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  // The drawing's background reaches every corner: nothing is letterboxed.
  for (QPoint corner : {QPoint(1, 1), QPoint(263, 1), QPoint(1, 287), QPoint(263, 287)})
    EXPECT_EQ(image.pixelColor(corner).alpha(), 255) << corner.x() << "," << corner.y();
}

TEST(SearchAnimation, TwentyThreeFramesInALoop) {
  EXPECT_EQ(TSearchAnimation::FrameCount, 23);
  for (int frame = 0; frame < TSearchAnimation::FrameCount; ++frame)
    EXPECT_NE(AnimationFrame(frame), AnimationFrame(frame + 1)) << frame;
  EXPECT_EQ(AnimationFrame(23), AnimationFrame(0));
  TSearchAnimation animation;
  animation.SetFrame(22);
  animation.SetFrame(animation.Frame() + 1);
  EXPECT_EQ(animation.Frame(), 0);
  animation.SetFrame(-1);
  EXPECT_EQ(animation.Frame(), 22);
}

TEST(SearchAnimation, PlaysUntilStopped) {
  TSearchAnimation animation;
  animation.show();
  animation.Play();
  EXPECT_TRUE(animation.Active());
  QTest::qWait(TSearchAnimation::FrameInterval * 4);
  EXPECT_NE(animation.Frame(), 0);
  animation.Stop();
  const int stopped = animation.Frame();
  QTest::qWait(TSearchAnimation::FrameInterval * 3);
  EXPECT_EQ(animation.Frame(), stopped);
}
