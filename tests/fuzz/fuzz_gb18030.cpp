// The saved log's encoding: UTF-8 to GB18030 and back gives the text again,
// with each byte that is not valid UTF-8 as U+FFFD. Arbitrary bytes are
// also fed to the decoder, which must refuse or convert them, nothing worse.
#include "FuzzSupport.h"
#include "TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const std::string encoded = Platform::Utf8ToGb18030(text);
  const auto decoded = Platform::Gb18030ToUtf8(encoded);
  FUZZ_CHECK(decoded.has_value());
  FUZZ_CHECK(*decoded == Platform::ReplaceInvalidUtf8(text));
  if (const auto raw = Platform::Gb18030ToUtf8(text)) {
    FUZZ_CHECK(Platform::ReplaceInvalidUtf8(*raw) == *raw);
  }
  return 0;
}
