// Names in log lines: no control character survives the escaping, a name
// without one is kept byte for byte, and a file's line stays one line.
#include "FuzzSupport.h"
#include "LogText.h"
#include "TextEncoding.h"

namespace {

// The control character at text[i] and its length, or -1: C0, DEL, C1 as
// UTF-8 (C2 80..C2 9F), or a lone byte 80..9F outside a valid sequence.
int ControlAt(std::string_view text, std::size_t i, std::size_t& length) {
  length = std::max<std::size_t>(1, Platform::Utf8SequenceLength(text, i));
  const auto byte = static_cast<unsigned char>(text[i]);
  const bool valid = Platform::Utf8SequenceLength(text, i) > 0;
  if (byte < 0x20 || byte == 0x7F) return byte;
  if (valid && length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
    return static_cast<unsigned char>(text[i + 1]);
  if (!valid && byte >= 0x80 && byte < 0xA0) return byte;
  return -1;
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
  for (std::size_t i = 0; i < escaped.size(); i += length) FUZZ_CHECK(ControlAt(escaped, i, length) < 0);
  const std::string line = LogText::FileLine(name);
  FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(line.starts_with("   文件'") && line.ends_with("':"));
  return 0;
}
