#include "TerminalText.h"

#include <locale.h>
#include <wchar.h>

#include "TextEncoding.h"

namespace {

constexpr std::string_view Ellipsis = "…";

struct TCodePoint {
  char32_t Value;
  std::size_t Length;
};

// Decodes the character at text[i] of text already made valid UTF-8.
TCodePoint Decode(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  char32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
    value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return {value, length};
}

// Only where the C library has no UTF-8 locale to ask.
bool IsWide(char32_t c) {
  struct TRange {
    char32_t First, Last;
  };
  static constexpr TRange Wide[] = {
      {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
      {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
      {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
      {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  for (const TRange& range : Wide)
    if (c >= range.First && c <= range.Last) return true;
  return false;
}

// The C library's width table of a UTF-8 locale of our own: the text is
// UTF-8 whatever the user's locale is, and its table is the one that the
// terminal's own is most likely to agree with.
locale_t WidthLocale() {
  static const locale_t locale = [] {
    for (const char* name : {"C.UTF-8", "en_US.UTF-8"}) {
      if (const locale_t found = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0)))
        return found;
    }
    return static_cast<locale_t>(0);
  }();
  return locale;
}

// Columns of one character: 0 for combining marks, 2 for wide ones, and 1
// for those the table does not know (a terminal shows them as a box).
std::size_t Columns(char32_t c) {
  const locale_t locale = WidthLocale();
  if (locale == static_cast<locale_t>(0)) return IsWide(c) ? 2 : 1;
  // uselocale changes the calling thread only.
  const locale_t previous = uselocale(locale);
  const int width = wcwidth(static_cast<wchar_t>(c));
  uselocale(previous);
  return width < 0 ? 1 : static_cast<std::size_t>(width);
}

}  // namespace

std::string PrintableText(std::string_view text) {
  return Platform::ReplaceInvalidUtf8(Platform::EscapeControlCharacters(text));
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const TCodePoint c = Decode(text, i);
    width += Columns(c.Value);
    i += c.Length;
  }
  return width;
}

std::string FitToWidth(std::string_view text, std::size_t columns) {
  if (DisplayWidth(text) <= columns) return std::string(text);
  if (columns == 0) return {};
  std::string result;
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const TCodePoint c = Decode(text, i);
    const std::size_t w = Columns(c.Value);
    // One column stays free for the ellipsis.
    if (width + w > columns - 1) break;
    result.append(text, i, c.Length);
    width += w;
    i += c.Length;
  }
  return result + std::string(Ellipsis);
}

std::string PadToWidth(std::string_view text, std::size_t columns) {
  const std::size_t width = DisplayWidth(text);
  return std::string(text) + std::string(width < columns ? columns - width : 0, ' ');
}
