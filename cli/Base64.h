#pragma once
// Base64 (RFC 4648, with padding) for bytes that JSON text cannot carry:
// names that are not valid UTF-8.
#include <optional>
#include <string>
#include <string_view>

std::string ToBase64(std::string_view bytes);
// nullopt when text is not base64.
std::optional<std::string> FromBase64(std::string_view text);
