#include "NameOrder.h"

#include <unicode/uchar.h>

#include "TextEncoding.h"

namespace Platform {

namespace {

// The next character of text from i on, case-folded; i moves past it.
char32_t NextFolded(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  // Nearly every name is ASCII: no table lookup for those.
  if (lead < 0x80) {
    ++i;
    return lead >= 'A' && lead <= 'Z' ? lead - 'A' + 'a' : lead;
  }
  const std::size_t length = Utf8SequenceLength(text, i);
  if (length == 0) {
    ++i;
    return 0xFFFD;
  }
  const char32_t c = DecodeUtf8(text, i, length);
  i += length;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = NextFolded(a, i);
    const char32_t y = NextFolded(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return a.compare(b);
}

}  // namespace Platform
