#pragma once
// Colours as the windows store them: 32-bit values with red in the lowest
// byte, green in the next and blue in the third, or, with the top byte 0x80,
// a reference to a system colour whose index is the low byte. Keeping this
// form (rather than QColor) lets the raised-text label compute its light
// copy from the raw bytes, system references included.
#include <cstdint>

#include <QColor>
#include <QPalette>

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clWhite = 0xFFFFFF;

// System colour references, by their classic indices.
inline constexpr TColor SystemColorFlag = 0x80000000;
inline constexpr TColor clWindow = SystemColorFlag | 5;
inline constexpr TColor clWindowText = SystemColorFlag | 8;
inline constexpr TColor clHighlight = SystemColorFlag | 13;
inline constexpr TColor clHighlightText = SystemColorFlag | 14;
inline constexpr TColor clBtnFace = SystemColorFlag | 15;
inline constexpr TColor clBtnShadow = SystemColorFlag | 16;
inline constexpr TColor clGrayText = SystemColorFlag | 17;
inline constexpr TColor clBtnText = SystemColorFlag | 18;
inline constexpr TColor clBtnHighlight = SystemColorFlag | 20;

constexpr TColor RGBColor(int red, int green, int blue) {
  return static_cast<TColor>(red & 0xFF) | static_cast<TColor>(green & 0xFF) << 8 |
         static_cast<TColor>(blue & 0xFF) << 16;
}

// A direct colour as it is; a system reference through the palette's role
// for it (unknown indices fall back to the text colour).
QColor ColorToQColor(TColor color, const QPalette& palette);
TColor QColorToColor(const QColor& color);
