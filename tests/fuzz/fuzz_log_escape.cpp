// Names in log lines: no control character survives the escaping, a name
// without one is kept byte for byte, and a file's line stays one line.
#include "FuzzSupport.h"
#include "LogText.h"
#include "TextEncoding.h"

namespace {

// The control character at text[i] and its length, or -1, by code point:
// below U+0020, or U+007F..U+009F; a byte outside valid UTF-8 counts as the
// code point of its value.
int ControlAt(std::string_view text, std::size_t i, std::size_t& length) {
  const std::size_t valid = Platform::Utf8SequenceLength(text, i);
  length = std::max<std::size_t>(1, valid);
  char32_t point = static_cast<unsigned char>(text[i]);
  if (valid > 1) {
    point &= 0x7F >> valid;
    for (std::size_t k = 1; k < valid; ++k) point = point << 6 | (text[i + k] & 0x3F);
  }
  return point < 0x20 || (point >= 0x7F && point < 0xA0) ? static_cast<int>(point) : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name = AsText(data, size);
  std::string expected;
  bool anyControl = false;
  for (std::size_t i = 0, length = 0; i < name.size(); i += length) {
    const int control = ControlAt(name, i, length);
    anyControl |= control >= 0;
    if (control < 0) {
      expected.append(name.substr(i, length));
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", control);
      expected += escaped;
    }
  }
  const std::string escaped = Platform::EscapeControlCharacters(name);
  FUZZ_CHECK(escaped == expected);
  if (!anyControl) FUZZ_CHECK(escaped == name);
  std::size_t length = 0;
  for (std::size_t i = 0; i < escaped.size(); i += length)
    FUZZ_CHECK(ControlAt(escaped, i, length) < 0);
  const std::string line = LogText::FileLine(name);
  FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(line.starts_with("   文件'") && line.ends_with("':"));
  return 0;
}
