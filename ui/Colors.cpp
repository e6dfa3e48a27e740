#include "Colors.h"

namespace {

QPalette::ColorRole SystemColorRole(unsigned index) {
  switch (index) {
    case 5: return QPalette::Base;
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;
    case 16: return QPalette::Dark;
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;
    default: return QPalette::WindowText;
  }
}

}  // namespace

QColor ColorToQColor(TColor color, const QPalette& palette) {
  if ((color & 0xFF000000) == SystemColorFlag) {
    const unsigned index = color & 0xFF;
    if (index == 17) return palette.color(QPalette::Disabled, QPalette::WindowText);
    return palette.color(QPalette::Active, SystemColorRole(index));
  }
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>(color >> 8 & 0xFF),
                static_cast<int>(color >> 16 & 0xFF));
}

TColor QColorToColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return RGBColor(rgb.red(), rgb.green(), rgb.blue());
}
