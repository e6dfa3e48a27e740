#pragma once
// Integers as the settings file and the command line write them.
#include <cstdint>
#include <optional>
#include <string_view>

// Optional leading blanks, an optional '+' or '-', then decimal digits or
// hexadecimal digits after '$'. Nothing may follow the digits. A value
// outside the 32-bit signed range is not an integer.
std::optional<std::int32_t> StrToInt32(std::string_view text);

// A settings-file value: "0x" or "0X" before at least one more character
// starts hexadecimal digits; otherwise as StrToInt32.
std::optional<std::int32_t> ProfileInteger(std::string_view text);
