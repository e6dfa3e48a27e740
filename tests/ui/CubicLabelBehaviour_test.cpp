// The raised-text label's layout, measuring, access keys, colours,
// properties and mouse signals.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "CubicLabel.h"
#include "UiTestSupport.h"

namespace {

QFont PixelFont(int pixels) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(pixels);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

QImage RenderCaption(const QString& text, bool showAccelChar, Qt::Alignment align,
                     QSize size = {160, 80}) {
  TCubicLabel label;
  label.setText(text);
  label.setFont(PixelFont(30));
  label.resize(size);
  label.setAlignment(align);
  label.SetShowAccelChar(showAccelChar);
  return RenderWidget(label);
}

QRect Measure(TCubicLabel& label, QRect r, int format = Qt::AlignLeft) {
  QImage image(10, 10, QImage::Format_RGB32);
  QPainter canvas(&image);
  label.DrawCaption(canvas, r, format | TCubicLabel::CalcRect);
  return r;
}

// The height one line of text takes in the test font, as drawn.
int LineHeight() {
  QImage page(10, 10, QImage::Format_RGB32);
  QPainter canvas(&page);
  canvas.setFont(PixelFont(30));
  return canvas.boundingRect(QRect(0, 0, 100, 100), Qt::AlignLeft, QStringLiteral("X")).height();
}

// Counts the paints that reach the label.
class TCountingLabel : public TCubicLabel {
 public:
  int Paints = 0;

 protected:
  void Paint(QPainter& canvas) override {
    ++Paints;
    TCubicLabel::Paint(canvas);
  }
};

}  // namespace

TEST(CubicLabelLayout, OneLineCaptionIsCentredBothWays) {
  const QSize size(160, 80);
  const QImage centred = RenderCaption(QStringLiteral("H"), true, Qt::AlignCenter, size);
  const QImage top = RenderCaption(QStringLiteral("H"), true, Qt::AlignHCenter | Qt::AlignTop, size);
  const QImage bottom = RenderCaption(QStringLiteral("H"), true, Qt::AlignHCenter | Qt::AlignBottom, size);
  const QRect ink = InkBounds(centred);
  ASSERT_FALSE(ink.isEmpty());
  // "H" is symmetric, so its ink sits in the middle of the width.
  EXPECT_LE(std::abs(ink.left() - (size.width() - 1 - ink.right())), 1);
  // The line box (the font's height) sits in the middle of the height.
  const int lineHeight = LineHeight();
  EXPECT_EQ(ink.top() - InkBounds(top).top(), (size.height() - lineHeight) / 2);
  EXPECT_EQ(InkBounds(bottom).top() - InkBounds(top).top(), size.height() - lineHeight);
}

TEST(CubicLabelLayout, MeasuringKeepsTopLeftAndEmptyCaptionIsOneLine) {
  TCubicLabel label;
  label.setFont(PixelFont(30));
  const int lineHeight = LineHeight();
  for (const char* text : {"", "Abc"}) {
    label.setText(QString::fromLatin1(text));
    const QRect r = Measure(label, QRect(7, 9, 300, 300));
    EXPECT_EQ(r.topLeft(), QPoint(7, 9)) << text;
    EXPECT_EQ(r.height(), lineHeight) << text;
  }
  label.setText(QStringLiteral("&"));
  EXPECT_EQ(Measure(label, QRect(0, 0, 300, 300)).height(), lineHeight);
  // A wrapped caption measures as many lines as it takes.
  label.setText(QStringLiteral("one two three four five"));
  label.setWordWrap(true);
  EXPECT_GE(Measure(label, QRect(0, 0, 80, 300), Qt::AlignLeft | Qt::TextWordWrap).height(),
            3 * lineHeight);
}

TEST(CubicLabelLayout, DoubleAmpersandIsOneOnlyWithAccessKeys) {
  const Qt::Alignment left = Qt::AlignLeft | Qt::AlignTop;
  const QImage oneLiteral = RenderCaption(QStringLiteral("&"), false, left);
  const QImage twoWithKeys = RenderCaption(QStringLiteral("&&"), true, left);
  const QImage twoLiteral = RenderCaption(QStringLiteral("&&"), false, left);
  EXPECT_EQ(twoWithKeys, oneLiteral);
  EXPECT_NE(twoLiteral, oneLiteral);
  EXPECT_GT(InkBounds(twoLiteral).width(), InkBounds(oneLiteral).width() * 3 / 2);
}

TEST(CubicLabelColors, HighlightKeepsTheDistanceToTheLightestComponent) {
  const struct {
    TColor In, Out;
  } cases[] = {
      {clNavy, 0xFFDFDF}, {clBlue, 0xFFC0C0},  {clRed, 0xC0C0FF},
      {clBlack, clWhite}, {clGray, clWhite},   {0x00804020, 0xFFEFE7},
      // A system-colour reference is not resolved: its top byte is dropped.
      {clWindow, 0xFEFEFF},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TCubicLabel::GetHighlightColor(c.In), c.Out) << std::hex << c.In;
}

TEST(CubicLabelProperties, StartValues) {
  TCubicLabel label;
  EXPECT_EQ(label.CubicFace(), cfNormal);
  EXPECT_FALSE(label.CubicShadow());
  EXPECT_EQ(label.ShadowDepth(), 1);
  EXPECT_FALSE(label.ShadowOnly());
  EXPECT_EQ(label.ShadowColor(), clGray);
  EXPECT_FALSE(label.HollowFace());
  EXPECT_EQ(label.HollowColor(), clSilver);
  EXPECT_TRUE(label.ShowAccelChar());
  EXPECT_EQ(label.alignment(), Qt::AlignLeft | Qt::AlignTop);
}

TEST(CubicLabelProperties, RepaintOnlyWhenAValueChanges) {
  TCountingLabel label;
  label.setText(QStringLiteral("Korvane"));
  label.resize(120, 40);
  label.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
  const struct {
    const char* Name;
    std::function<void()> SetSame, SetOther;
  } setters[] = {
      {"CubicFace", [&] { label.SetCubicFace(cfNormal); }, [&] { label.SetCubicFace(cfRaised); }},
      {"CubicShadow", [&] { label.SetCubicShadow(false); }, [&] { label.SetCubicShadow(true); }},
      {"ShadowDepth", [&] { label.SetShadowDepth(1); }, [&] { label.SetShadowDepth(4); }},
      {"ShadowOnly", [&] { label.SetShadowOnly(false); }, [&] { label.SetShadowOnly(true); }},
      {"ShadowColor", [&] { label.SetShadowColor(clGray); }, [&] { label.SetShadowColor(clRed); }},
      {"HollowFace", [&] { label.SetHollowFace(false); }, [&] { label.SetHollowFace(true); }},
      {"HollowColor", [&] { label.SetHollowColor(clSilver); }, [&] { label.SetHollowColor(clBlue); }},
      {"negative ShadowDepth", [&] { label.SetShadowDepth(-2); }, [&] { label.SetShadowDepth(1); }},
  };
  for (const auto& setter : setters) {
    SCOPED_TRACE(setter.Name);
    QTest::qWait(20);
    label.Paints = 0;
    setter.SetSame();
    QTest::qWait(20);
    EXPECT_EQ(label.Paints, 0);
    setter.SetOther();
    QTest::qWait(20);
    EXPECT_GT(label.Paints, 0);
  }
  EXPECT_EQ(label.ShadowDepth(), 1);
}

TEST(CubicLabelMouse, ClickNeedsPressAndReleaseOnTheLabel) {
  TCubicLabel label;
  label.resize(100, 30);
  label.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
  QSignalSpy clicks(&label, &TCubicLabel::Click);
  QSignalSpy downs(&label, &TCubicLabel::MouseDown);
  QSignalSpy ups(&label, &TCubicLabel::MouseUp);
  QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(downs.count(), 1);
  EXPECT_EQ(ups.count(), 1);
  QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(150, 10));
  EXPECT_EQ(clicks.count(), 1);
  QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(downs.count(), 3);
}
