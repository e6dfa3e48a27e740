#pragma once
// What the fuzz targets share: a check that aborts with its condition, so
// that libFuzzer keeps the input, and the input split into pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                 \
    }                                                                               \
  } while (false)

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input cut at each NUL byte: one piece more than there are NULs.
inline std::vector<std::string> SplitAtNul(std::string_view text) {
  std::vector<std::string> pieces(1);
  for (const char c : text) {
    if (c == '\0') pieces.emplace_back();
    else pieces.back() += c;
  }
  return pieces;
}
