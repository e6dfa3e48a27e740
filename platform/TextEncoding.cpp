#include "TextEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <vector>

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
  std::size_t run = 0;  // start of the valid bytes not yet copied
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
    } else if (const std::size_t length = Utf8SequenceLength(text, i)) {
      i += length;
    } else {
      result.append(text, run, i - run).append(Replacement);
      run = ++i;
    }
  }
  return result.append(text, run);
}

char32_t DecodeUtf8(std::string_view text, std::size_t i, std::size_t length) {
  static constexpr unsigned char leadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t code = static_cast<unsigned char>(text[i]) & leadMask[length];
  for (std::size_t k = 1; k < length; ++k)
    code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return code;
}

namespace {

// GB18030 of every character of the Basic Multilingual Plane, taken once
// from the system's converter so that both agree byte for byte; a table
// walk is many times faster than a call into iconv for each character, and
// a log of millions of lines is saved in one go. An entry holds two or four
// bytes, first byte lowest: a second byte of '0'..'9' marks four.
class TGb18030Table {
 public:
  TGb18030Table() : Codes(0x10000) {
    TConverter converter("GB18030", "UTF-8");
    for (char32_t code = 0x80; code < 0x10000; ++code) {
      const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
      Codes[code] = Pack(surrogate ? Gb18030Replacement : Convert(converter, code));
    }
    // The converter refuses some private-use characters; they keep their
    // codes. Beyond the BMP every code is counted by the standard's own
    // rule (Supplementary), which glibc's differing reading cannot touch.
    for (const TSpecialCode& special : SpecialCodes) {
      const char32_t code = DecodeUtf8(special.Utf8, 0, special.Utf8.size());
      if (code < 0x10000) Codes[code] = Pack(special.Gb18030);
    }
  }

  // Appends the bytes of code (not ASCII) at out, which has room for four.
  char* Put(char32_t code, char* out) const {
    std::uint32_t bytes = code < 0x10000 ? Codes[code] : Supplementary(code);
    const bool four = (bytes >> 8 & 0xFF) <= '9';
    for (int k = 0; k < (four ? 4 : 2); ++k, bytes >>= 8) *out++ = static_cast<char>(bytes & 0xFF);
    return out;
  }

 private:
  static std::uint32_t Pack(std::string_view bytes) {
    std::uint32_t packed = 0;
    for (std::size_t k = bytes.size(); k-- > 0;)
      packed = packed << 8 | static_cast<unsigned char>(bytes[k]);
    return packed;
  }

  static std::string Convert(TConverter& converter, char32_t code) {
    std::string utf8;
    if (code < 0x800) {
      utf8 = {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
    } else {
      utf8 = {static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3F)),
              static_cast<char>(0x80 | (code & 0x3F))};
    }
    std::string_view input = utf8;
    std::string output;
    const bool converted = converter.Convert(input, output) == 0 && (output.size() == 2 || output.size() == 4);
    return converted ? output : std::string(Gb18030Replacement);
  }

  // Beyond the BMP, GB18030 counts four-byte codes on from 90 30 81 30.
  static std::uint32_t Supplementary(char32_t code) {
    std::uint32_t linear = 189000 + (code - 0x10000);
    const std::uint32_t b3 = 0x30 + linear % 10;
    linear /= 10;
    const std::uint32_t b2 = 0x81 + linear % 126;
    linear /= 126;
    const std::uint32_t b1 = 0x30 + linear % 10;
    const std::uint32_t b0 = 0x81 + linear / 10;
    return b0 | b1 << 8 | b2 << 16 | b3 << 24;
  }

  std::vector<std::uint32_t> Codes;
};

}  // namespace

std::string Utf8ToGb18030(std::string_view text) {
  static const TGb18030Table table;
  // Never longer than four bytes for one: grown as needed, cut at the end.
  std::string result(text.size() + text.size() / 2 + 4, '\0');
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (result.size() - used < 4) result.resize(result.size() * 2);
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      result[used++] = static_cast<char>(byte);
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, i);
    const char32_t code = length == 0 ? U'\uFFFD' : DecodeUtf8(text, i, length);
    used = static_cast<std::size_t>(table.Put(code, result.data() + used) - result.data());
    i += std::max<std::size_t>(length, 1);
  }
  result.resize(used);
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

namespace {

// text from one codeset to another; each character that does not convert
// (step gives its length) becomes replacement. nullopt without a converter.
template <typename Step>
std::optional<std::string> Recode(std::string_view text, const char* to, const char* from,
                                  std::string_view replacement, Step step) {
  std::optional<TConverter> converter;
  try {
    converter.emplace(to, from);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
  std::string result;
  while (converter->Convert(text, result) != 0) {
    result += replacement;
    text.remove_prefix(std::min(text.size(), step(text)));
  }
  return result;
}

}  // namespace

std::string ToUtf8(std::string_view text, const char* codeset) {
  if (std::string_view(codeset) == "UTF-8") return ReplaceInvalidUtf8(text);
  const auto oneByte = [](std::string_view) { return std::size_t{1}; };
  return Recode(text, "UTF-8", codeset, Replacement, oneByte).value_or(ReplaceInvalidUtf8(text));
}

std::string FromUtf8(std::string_view text, const char* codeset) {
  if (std::string_view(codeset) == "UTF-8") return std::string(text);
  const auto oneCharacter = [](std::string_view rest) {
    return std::max<std::size_t>(1, Utf8SequenceLength(rest, 0));
  };
  return Recode(text, codeset, "UTF-8", "?", oneCharacter).value_or(std::string(text));
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
