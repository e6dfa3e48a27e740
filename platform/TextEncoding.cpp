#include "TextEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace Platform {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";         // U+FFFD in UTF-8
constexpr std::string_view Gb18030Replacement = "\x84\x31\xA4\x37";  // and in GB18030

// Characters whose GB18030 code glibc's converter does not give. The 2022
// edition of GB18030 moved 18 characters that the 2005 edition had put in
// the private-use area to their own code points; glibc follows it and now
// refuses the 18 private-use code points, which keep the four-byte codes
// their new partners gave up. Six more two-byte codes stayed private-use in
// the standard (and in GBK), but glibc reads them as supplementary-plane
// ideographs; those ideographs are written with their own four-byte codes
// so that each code stands for one character only.
struct TSpecialCode {
  std::string_view Utf8;
  std::string_view Gb18030;
};
constexpr TSpecialCode SpecialCodes[] = {
    {"\xEE\x9E\x8D", "\x84\x31\x82\x36"},  // U+E78D
    {"\xEE\x9E\x8E", "\x84\x31\x82\x38"},  // U+E78E
    {"\xEE\x9E\x8F", "\x84\x31\x82\x37"},  // U+E78F
    {"\xEE\x9E\x90", "\x84\x31\x82\x39"},  // U+E790
    {"\xEE\x9E\x91", "\x84\x31\x83\x30"},  // U+E791
    {"\xEE\x9E\x92", "\x84\x31\x83\x31"},  // U+E792
    {"\xEE\x9E\x93", "\x84\x31\x83\x32"},  // U+E793
    {"\xEE\x9E\x94", "\x84\x31\x83\x33"},  // U+E794
    {"\xEE\x9E\x95", "\x84\x31\x83\x34"},  // U+E795
    {"\xEE\x9E\x96", "\x84\x31\x83\x35"},  // U+E796
    {"\xEE\xA0\x9E", "\x82\x35\x90\x37"},  // U+E81E
    {"\xEE\xA0\xA6", "\x82\x35\x90\x38"},  // U+E826
    {"\xEE\xA0\xAB", "\x82\x35\x90\x39"},  // U+E82B
    {"\xEE\xA0\xAC", "\x82\x35\x91\x30"},  // U+E82C
    {"\xEE\xA0\xB2", "\x82\x35\x91\x31"},  // U+E832
    {"\xEE\xA1\x83", "\x82\x35\x91\x32"},  // U+E843
    {"\xEE\xA1\x94", "\x82\x35\x91\x33"},  // U+E854
    {"\xEE\xA1\xA4", "\x82\x35\x91\x34"},  // U+E864
    {"\xEE\xA0\x96", "\xFE\x51"},              // U+E816
    {"\xEE\xA0\x97", "\xFE\x52"},              // U+E817
    {"\xEE\xA0\x98", "\xFE\x53"},              // U+E818
    {"\xEE\xA0\xB1", "\xFE\x6C"},              // U+E831
    {"\xEE\xA0\xBB", "\xFE\x76"},              // U+E83B
    {"\xEE\xA1\x95", "\xFE\x91"},              // U+E855
    {"\xF0\xA0\x82\x87", "\x95\x32\x90\x31"},  // U+20087
    {"\xF0\xA0\x82\x89", "\x95\x32\x90\x33"},  // U+20089
    {"\xF0\xA0\x83\x8C", "\x95\x32\x97\x30"},  // U+200CC
    {"\xF0\xA1\x97\x97", "\x95\x36\xB9\x37"},  // U+215D7
    {"\xF0\xA2\xA6\x8F", "\x96\x30\xBA\x35"},  // U+2298F
    {"\xF0\xA4\x87\xBE", "\x96\x35\xB6\x30"},  // U+241FE
};

const TSpecialCode* SpecialByUtf8(std::string_view character) {
  // Only characters led by EE or F0 have one: a quick way past the rest.
  if (character.size() < 3 || (character[0] != '\xEE' && character[0] != '\xF0')) return nullptr;
  for (const TSpecialCode& code : SpecialCodes)
    if (code.Utf8 == character) return &code;
  return nullptr;
}

const TSpecialCode* SpecialByGb18030(std::string_view character) {
  for (const TSpecialCode& code : SpecialCodes)
    if (code.Gb18030 == character) return &code;
  return nullptr;
}

// Length of the GB18030 character at text[i]: one byte below 0x80, four
// when the second byte is a digit, otherwise two. Only boundaries matter
// here; the converter judges validity.
std::size_t Gb18030CharLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x81 || lead == 0xFF || i + 1 >= text.size()) return 1;
  const char second = text[i + 1];
  return std::min<std::size_t>(second >= '0' && second <= '9' ? 4 : 2, text.size() - i);
}

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
  // The input is valid UTF-8 by now; should the converter still refuse a
  // character, that one character is marked and the rest goes on.
  auto convert = [&](std::string_view run) {
    while (converter.Convert(run, result) != 0) {
      result += Gb18030Replacement;
      run.remove_prefix(std::max<std::size_t>(1, Utf8SequenceLength(run, 0)));
    }
  };
  const std::string_view valid = clean;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < valid.size();) {
    const std::size_t length = Utf8SequenceLength(valid, i);
    if (const TSpecialCode* special = SpecialByUtf8(valid.substr(i, length))) {
      convert(valid.substr(runStart, i - runStart));
      result += special->Gb18030;
      runStart = i + length;
    }
    i += length;
  }
  convert(valid.substr(runStart));
  return result;
}

std::optional<std::string> Gb18030ToUtf8(std::string_view text) {
  TConverter converter("UTF-8", "GB18030");
  std::string result;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Gb18030CharLength(text, i);
    if (const TSpecialCode* special = SpecialByGb18030(text.substr(i, length))) {
      std::string_view run = text.substr(runStart, i - runStart);
      if (converter.Convert(run, result) != 0) return std::nullopt;
      result += special->Utf8;
      runStart = i + length;
    }
    i += length;
  }
  std::string_view run = text.substr(runStart);
  if (converter.Convert(run, result) != 0) return std::nullopt;
  return result;
}

std::string ToUtf8(std::string_view text, const char* codeset) {
  if (std::string_view(codeset) == "UTF-8") return ReplaceInvalidUtf8(text);
  std::optional<TConverter> converter;
  try {
    converter.emplace("UTF-8", codeset);
  } catch (const std::runtime_error&) {
    return ReplaceInvalidUtf8(text);
  }
  std::string result;
  while (converter->Convert(text, result) != 0) {
    result += Replacement;
    text.remove_prefix(1);
  }
  return result;
}

namespace {

// The control character that starts at text[i] (length bytes of valid UTF-8,
// or 0 for a byte outside any), or -1: C0, DEL, C1 as the UTF-8 character
// U+0080..U+009F, or as a lone byte 80..9F, which an eight-bit terminal
// takes for one.
int ControlAt(std::string_view text, std::size_t i, std::size_t length) {
  const auto byte = static_cast<unsigned char>(text[i]);
  if (byte < 0x20 || byte == 0x7F) return byte;
  if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
    return static_cast<unsigned char>(text[i + 1]);
  if (length == 0 && byte < 0xA0) return byte;
  return -1;
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (const int control = ControlAt(text, i, length); control >= 0)
      result += {'\\', 'x', Hex[control >> 4], Hex[control & 0xF]};
    else
      result.append(text, i, std::max<std::size_t>(1, length));
    i += std::max<std::size_t>(1, length);
  }
  return result;
}

}  // namespace Platform
