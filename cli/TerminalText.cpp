#include "TerminalText.h"

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

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

std::string PrintableText(std::string_view text) {
  const std::string valid = Platform::ReplaceInvalidUtf8(text);
  std::string result;
  result.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size();) {
    const TCodePoint c = Decode(valid, i);
    if (IsControl(c.Value)) result += '?';
    else result.append(valid, i, c.Length);
    i += c.Length;
  }
  return result;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const TCodePoint c = Decode(text, i);
    width += IsWide(c.Value) ? 2 : 1;
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
    const std::size_t w = IsWide(c.Value) ? 2 : 1;
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
