#pragma once
// Text for one line of a terminal: file names come as raw bytes and may
// hold anything, and East Asian characters take two columns.
#include <cstddef>
#include <string>
#include <string_view>

// Control characters become "\xNN", as in the log, and bytes that are not
// valid UTF-8 U+FFFD, so that a strange file name can neither move the
// cursor nor break the line.
std::string PrintableText(std::string_view text);

// Columns the (printable) text takes, by the C library's width table (wcwidth)
// for UTF-8: two for East Asian wide characters and emoji, none for
// combining marks, one for everything else.
std::size_t DisplayWidth(std::string_view text);

// The text cut to at most columns, ending in "…" when something was cut.
std::string FitToWidth(std::string_view text, std::size_t columns);

// The text padded with blanks to at least columns.
std::string PadToWidth(std::string_view text, std::size_t columns);
