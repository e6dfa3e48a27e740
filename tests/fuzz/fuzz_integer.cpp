// The settings' integer parser against std::from_chars on the same rules:
// leading blanks, a sign, decimal digits or hexadecimal ones after '$' or
// (for a settings value) a leading "0x", nothing after, 32-bit range.
#include <charconv>
#include <optional>

#include "FuzzSupport.h"
#include "IntegerText.h"

namespace {

std::optional<std::int32_t> Reference(std::string_view text, bool profile) {
  bool negative = false;
  int base = 10;
  if (profile && text.size() > 2 && text[0] == '0' && (text[1] | 0x20) == 'x') {
    text.remove_prefix(2);
    base = 16;
  } else {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
      negative = text.front() == '-';
      text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '$') {
      text.remove_prefix(1);
      base = 16;
    }
  }
  // from_chars takes no sign of its own here, nor "0x".
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value > (negative ? 2147483648ULL : 2147483647ULL)) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(value)
                                            : static_cast<std::int64_t>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  FUZZ_CHECK(StrToInt32(text) == Reference(text, false));
  FUZZ_CHECK(ProfileInteger(text) == Reference(text, true));
  return 0;
}
