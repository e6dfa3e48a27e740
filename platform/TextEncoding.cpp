#include "TextEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace Platform {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";         // U+FFFD in UTF-8
constexpr std::string_view Gb18030Replacement = "\x84\x31\xA4\x37";  // and in GB18030

class TConverter {
 public:
  TConverter(const char* to, const char* from) : Handle(iconv_open(to, from)) {
    if (Handle == Invalid())
      throw std::runtime_error(std::string("no conversion from ") + from + " to " + to);
  }
  ~TConverter() { iconv_close(Handle); }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  // Appends the converted input to output. Returns 0, or the error code of
  // the first sequence that does not convert, with input left pointing at it.
  int Convert(std::string_view& input, std::string& output) {
    char buffer[16384];
    while (!input.empty()) {
      // iconv's prototype wants a non-const input pointer; it never writes
      // through it.
      char* in = const_cast<char*>(input.data());
      std::size_t inLeft = input.size();
      char* out = buffer;
      std::size_t outLeft = sizeof buffer;
      const bool failed = iconv(Handle, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1);
      const int code = failed ? errno : 0;
      output.append(buffer, static_cast<std::size_t>(out - buffer));
      input.remove_prefix(input.size() - inLeft);
      if (code != 0 && code != E2BIG) return code;
    }
    return 0;
  }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t Handle;
};

}  // namespace

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts
// there. The second byte's range excludes overlong forms, surrogates and
// values above U+10FFFF, as the Unicode standard's table of well-formed
// sequences does.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;
  else if (lead == 0xED) length = 3, high = 0x9F;
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
  else if (lead == 0xF0) length = 4, low = 0x90;
  else if (lead == 0xF4) length = 4, high = 0x8F;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  if (length == 0 || i + length > text.size()) return 0;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string ReplaceInvalidUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      result += Replacement;
      ++i;
    } else {
      result.append(text, i, length);
      i += length;
    }
  }
  return result;
}

std::string Utf8ToGb18030(std::string_view text) {
  const std::string clean = ReplaceInvalidUtf8(text);
  TConverter converter("GB18030", "UTF-8");
  std::string result;
  result.reserve(clean.size());
  std::string_view rest = clean;
  // The input is valid UTF-8 by now; should the converter still refuse a
  // character, that one character is marked and the rest goes on.
  while (converter.Convert(rest, result) != 0) {
    result += Gb18030Replacement;
    rest.remove_prefix(std::max<std::size_t>(1, Utf8SequenceLength(rest, 0)));
  }
  return result;
}

std::optional<std::string> Gb18030ToUtf8(std::string_view text) {
  TConverter converter("UTF-8", "GB18030");
  std::string result;
  if (converter.Convert(text, result) != 0) return std::nullopt;
  return result;
}

}  // namespace Platform
