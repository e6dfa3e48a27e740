// The fonts the windows are designed with must reach real Chinese glyphs
// in their Simplified Chinese shapes, whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include <QApplication>
#include <QFontInfo>

#include "UiTestSupport.h"

namespace {

QFont Font(const QString& family, int pixels = 24) {
  QFont font(family);
  font.setPixelSize(pixels);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// Characters whose mainland and Japanese shapes differ.
const QString RegionalGlyphs = QStringLiteral("令骨直");

}  // namespace

TEST(Fonts, ChineseIsNeverDrawnAsBoxes) {
  const QFont fonts[] = {Font(QStringLiteral("宋体")), Font(QStringLiteral("Times New Roman")),
                         Font(QStringLiteral("MS Sans Serif")), QApplication::font()};
  for (const QFont& font : fonts) {
    SCOPED_TRACE(font.family().toStdString());
    // A missing glyph is one box for every character: two characters
    // that look alike would render alike.
    const QImage first = RenderText(QStringLiteral("校"), font);
    const QImage second = RenderText(QStringLiteral("验"), font);
    EXPECT_FALSE(InkBounds(first).isEmpty());
    EXPECT_NE(first, second);
  }
}

TEST(Fonts, DesignedNamesResolveToSimplifiedChineseShapes) {
  const QImage mainland = RenderText(RegionalGlyphs, Font(QStringLiteral("Noto Serif CJK SC")));
  const QImage japanese = RenderText(RegionalGlyphs, Font(QStringLiteral("Noto Serif CJK JP")));
  // Equal pictures mean the locale, not the font, picked the shapes.
  ASSERT_NE(mainland, japanese) << "regional glyph forms follow the locale";
  EXPECT_EQ(RenderText(RegionalGlyphs, Font(QStringLiteral("宋体"))), mainland);
  // Chinese inside an English-named font falls back to the same Song face.
  EXPECT_EQ(RenderText(RegionalGlyphs, Font(QStringLiteral("Times New Roman"))), mainland);
  const QImage sans = RenderText(RegionalGlyphs, Font(QStringLiteral("Noto Sans CJK SC")));
  EXPECT_EQ(RenderText(RegionalGlyphs, Font(QStringLiteral("MS Sans Serif"))), sans);
}

TEST(Fonts, LatinTextKeepsItsDesignedFaces) {
  EXPECT_EQ(QFontInfo(Font(QStringLiteral("宋体"))).family(), QStringLiteral("Noto Serif CJK SC"));
  EXPECT_EQ(QFontInfo(Font(QStringLiteral("Times New Roman"))).family(),
            QStringLiteral("Liberation Serif"));
  const QString latin = QStringLiteral("Korvane 3.1");
  EXPECT_EQ(RenderText(latin, Font(QStringLiteral("Times New Roman"))),
            RenderText(latin, Font(QStringLiteral("Liberation Serif"))));
}

TEST(Fonts, TheUsersLocaleIsKept) {
  // Glyph choice was taken out of the locale at start; the locale itself
  // (separators, time format, system texts) must still be the user's.
  const std::string current = std::setlocale(LC_CTYPE, nullptr);
  EXPECT_EQ(current, std::setlocale(LC_CTYPE, ""));
}
