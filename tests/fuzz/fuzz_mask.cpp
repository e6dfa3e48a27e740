// The mask matcher against a slow and plain reference of the same rules: a
// memoised search over every way '*' can split the name. The input is
// "mask NUL name".
#include "DirSearch.h"
#include "FuzzSupport.h"
#include "TextEncoding.h"

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

class TReference {
 public:
  TReference(std::string_view name, std::string_view mask)
      : Name(name), Mask(mask), Memo((name.size() + 1) * (mask.size() + 1), -1) {}

  // Does the name from byte n on match the mask from byte m on?
  bool Match(std::size_t n, std::size_t m) {
    signed char& memo = Memo[n * (Mask.size() + 1) + m];
    if (memo < 0) memo = Compute(n, m) ? 1 : 0;
    return memo == 1;
  }

 private:
  // A character is a whole UTF-8 sequence, or one byte that starts none.
  static std::size_t Next(std::string_view text, std::size_t i) {
    return i + std::max<std::size_t>(1, Platform::Utf8SequenceLength(text, i));
  }

  bool Compute(std::size_t n, std::size_t m) {
    if (m == Mask.size()) return n == Name.size();
    if (Mask[m] == '*') {
      for (std::size_t k = n;; k = Next(Name, k)) {
        if (Match(k, m + 1)) return true;
        if (k >= Name.size()) return false;
      }
    }
    if (n == Name.size()) return false;
    if (Mask[m] == '?') return Match(Next(Name, n), m + 1);
    // A literal is a whole character of the mask, equal to one of the name.
    const std::size_t length = Next(Mask, m) - m;
    if (Next(Name, n) - n != length) return false;
    for (std::size_t k = 0; k < length; ++k)
      if (Fold(Mask[m + k]) != Fold(Name[n + k])) return false;
    return Match(n + length, m + length);
  }

  std::string_view Name, Mask;
  std::vector<signed char> Memo;
};

bool Wildcards(std::string_view name, std::string_view mask) { return TReference(name, mask).Match(0, 0); }

bool ReferenceMatch(std::string_view name, std::string_view mask) {
  if (mask == "*" || mask == "*.*") return true;
  if (mask.size() >= 2 && mask.back() == '.') {
    // Without an extension: no dot, or a final one alone.
    if (name.ends_with('.')) name.remove_suffix(1);
    return name.find('.') == std::string_view::npos && Wildcards(name, mask.substr(0, mask.size() - 1));
  }
  return Wildcards(name, mask) ||
         (mask.ends_with(".*") && Wildcards(name, mask.substr(0, mask.size() - 2)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const std::size_t nul = text.find('\0');
  if (nul == std::string_view::npos || size > 600) return 0;
  const std::string_view mask = text.substr(0, nul), name = text.substr(nul + 1);
  FUZZ_CHECK(Platform::MatchesMask(name, mask) == ReferenceMatch(name, mask));
  return 0;
}
