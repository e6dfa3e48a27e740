#pragma once
// Character-set conversion of text written for the user.
//
// Text in memory is UTF-8, but file names are kept as the bytes the system
// gives and need not be valid UTF-8. Such a byte cannot be passed through
// into GB18030 as it is: a stray byte of 0x81..0xFE would pair with the
// byte after it and swallow a character that was fine. So every byte that
// is not part of a valid UTF-8 sequence becomes U+FFFD, the replacement
// character (the same mark a UTF-8 viewer shows for it), and everything
// around it stays intact.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// Length of the well-formed UTF-8 sequence that starts at text[i], or 0
// when none starts there.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);
// The code point of the well-formed sequence of length bytes at text[i]
// (a length Utf8SequenceLength gave).
char32_t DecodeUtf8(std::string_view text, std::size_t i, std::size_t length);

// The text with each byte outside a valid UTF-8 sequence (stray
// continuation bytes, cut sequences, overlong forms, surrogates, values
// above U+10FFFF) replaced by U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view text);

// UTF-8 to GB18030, after ReplaceInvalidUtf8. GB18030 holds every Unicode
// character, so nothing else is lost: Gb18030ToUtf8 gives the text back.
std::string Utf8ToGb18030(std::string_view text);

// GB18030 to UTF-8; nullopt when the text is not valid GB18030.
std::optional<std::string> Gb18030ToUtf8(std::string_view text);

// Text in the named codeset (as nl_langinfo(CODESET) names it) to UTF-8;
// what does not convert becomes U+FFFD.
std::string ToUtf8(std::string_view text, const char* codeset);

// UTF-8 text in the named codeset, for a terminal or a program that reads
// it in the user's locale; a character the codeset lacks becomes '?'.
std::string FromUtf8(std::string_view text, const char* codeset);

// Each control character (C0, DEL, and C1 whether written as UTF-8 or as a
// lone byte) written as "\xNN" with two upper-case hex digits, so that a
// name can neither break a line nor reach a terminal as a control
// sequence. Everything else, invalid UTF-8 included, stays as it is.
std::string EscapeControlCharacters(std::string_view text);

}  // namespace Platform
