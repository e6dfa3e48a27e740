// Pixel tests of the raised-text label. Text is drawn without antialiasing,
// so every pixel is exactly one pen colour, and each effect can be checked
// against the plain face's pixels moved to where that effect belongs.
#include "CubicLabel.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include <QPainter>

#include "UiTestSupport.h"

namespace {

const QColor White(255, 255, 255);
const QColor Navy(0, 0, 128);
const QColor Gray(128, 128, 128);
const QColor LightOfNavy(0xDF, 0xDF, 0xFF);
const QColor Silver(192, 192, 192);
const QColor Red(255, 0, 0);

QFont PixelFont(int pixels) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(pixels);
  font.setBold(true);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

std::unique_ptr<TCubicLabel> MakeLabel(const QString& text, QSize size = {150, 70}) {
  auto label = std::make_unique<TCubicLabel>();
  label->setText(text);
  label->setFont(PixelFont(40));
  label->resize(size);
  label->setAlignment(Qt::AlignCenter);
  label->SetFontColor(clNavy);
  label->SetShadowColor(clRed);  // tells a drop shadow from the fixed-gray 3-D copy
  return label;
}

// Which pixels the face alone covers.
std::vector<std::vector<bool>> FaceMask(TCubicLabel& label) {
  const QImage image = RenderWidget(label);
  std::vector<std::vector<bool>> mask(image.height(), std::vector<bool>(image.width()));
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) mask[y][x] = image.pixelColor(x, y) == Navy;
  return mask;
}

using TLayer = std::pair<QPoint, QColor>;

// The picture expected when the face's pixels are painted once per layer,
// moved by its offset, in order, each layer covering the earlier ones.
QImage Compose(const std::vector<std::vector<bool>>& mask, const std::vector<TLayer>& layers) {
  const int height = static_cast<int>(mask.size());
  const int width = static_cast<int>(mask[0].size());
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(White);
  for (const auto& [offset, color] : layers)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int sx = x - offset.x();
        const int sy = y - offset.y();
        if (sx >= 0 && sy >= 0 && sx < width && sy < height && mask[sy][sx])
          image.setPixelColor(x, y, color);
      }
  return image;
}

int DifferentPixels(const QImage& a, const QImage& b) {
  int count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixelColor(x, y) != b.pixelColor(x, y)) ++count;
  return count;
}

struct TEffectCase {
  const char* Name;
  void (*Setup)(TCubicLabel&);
  std::vector<TLayer> Layers;  // the face itself comes last
};

std::vector<TEffectCase> EffectCases() {
  const std::vector<TLayer> halo = {
      {{1, 0}, Silver}, {{1, 1}, Silver}, {{-1, 1}, Silver}, {{-1, -1}, Silver}};
  auto with = [](std::vector<TLayer> a, const std::vector<TLayer>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  return {
      {"raised: gray below right, light above left",
       [](TCubicLabel& l) { l.SetCubicFace(cfRaised); },
       {{{1, 1}, Gray}, {{-1, -1}, LightOfNavy}}},
      {"lowered: light below right, gray above left",
       [](TCubicLabel& l) { l.SetCubicFace(cfLowered); },
       {{{1, 1}, LightOfNavy}, {{-1, -1}, Gray}}},
      {"raised hollow: copies 2 away, halo at its four places",
       [](TCubicLabel& l) { l.SetCubicFace(cfRaised); l.SetHollowFace(true); },
       with({{{2, 2}, Gray}, {{-2, -2}, LightOfNavy}}, halo)},
      {"normal hollow: halo only", [](TCubicLabel& l) { l.SetHollowFace(true); }, halo},
      {"cubic shadow of depth 3 fills 3, 2 and 1; the face style is ignored",
       [](TCubicLabel& l) {
         l.SetShadowOnly(true); l.SetShadowDepth(3); l.SetCubicShadow(true); l.SetCubicFace(cfRaised);
       },
       {{{3, 3}, Red}, {{2, 2}, Red}, {{1, 1}, Red}}},
      {"flat shadow of depth 3 only at 3",
       [](TCubicLabel& l) { l.SetShadowOnly(true); l.SetShadowDepth(3); l.SetCubicFace(cfLowered); },
       {{{3, 3}, Red}}},
      {"about-box style: cubic shadow under the halo",
       [](TCubicLabel& l) {
         l.SetShadowOnly(true); l.SetShadowDepth(3); l.SetCubicShadow(true); l.SetHollowFace(true);
       },
       with({{{3, 3}, Red}, {{2, 2}, Red}, {{1, 1}, Red}}, halo)},
      {"shadow of depth 0 lies under the face",
       [](TCubicLabel& l) { l.SetShadowOnly(true); l.SetShadowDepth(0); l.SetCubicShadow(true); },
       {}},
  };
}

}  // namespace

TEST(CubicLabelPixels, EachEffectLiesExactlyWhereItBelongs) {
  for (const TEffectCase& test : EffectCases()) {
    SCOPED_TRACE(test.Name);
    auto label = MakeLabel(QStringLiteral("Kg"));
    const auto mask = FaceMask(*label);
    test.Setup(*label);
    std::vector<TLayer> layers = test.Layers;
    layers.push_back({{0, 0}, Navy});
    const QImage expected = Compose(mask, layers);
    const QImage actual = RenderWidget(*label);
    EXPECT_EQ(DifferentPixels(expected, actual), 0);
    for (const auto& [offset, color] : test.Layers)  // each effect shows somewhere
      EXPECT_GT(CountColor(actual, color), 0) << color.name().toStdString();
  }
}

TEST(CubicLabelPixels, DisabledLabelIsEngravedWhateverTheEffects) {
  auto label = MakeLabel(QStringLiteral("Kg"));
  const auto mask = FaceMask(*label);
  QPalette palette = label->palette();
  const QColor highlight(0, 200, 0);
  const QColor shadow(200, 0, 200);
  palette.setColor(QPalette::Light, highlight);
  palette.setColor(QPalette::Dark, shadow);
  label->setPalette(palette);
  label->SetCubicFace(cfRaised);
  label->SetHollowFace(true);
  label->SetShadowOnly(true);
  label->SetCubicShadow(true);
  label->SetShadowDepth(3);
  label->setEnabled(false);
  const QImage expected = Compose(mask, {{{1, 1}, highlight}, {{0, 0}, shadow}});
  EXPECT_EQ(DifferentPixels(expected, RenderWidget(*label)), 0);
}

TEST(CubicLabelPixels, BackgroundIsFilledUnlessTransparent) {
  auto label = MakeLabel(QString());
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Red);
  label->setPalette(palette);
  EXPECT_TRUE(label->Transparent());
  EXPECT_EQ(CountColor(RenderWidget(*label), Red), 0);
  label->SetTransparent(false);
  EXPECT_EQ(CountColor(RenderWidget(*label), Red), label->width() * label->height());
}
