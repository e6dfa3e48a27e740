#pragma once
// Numbers, times and dates in the user's locale.
#include <cstdint>
#include <string>
#include <string_view>

namespace Platform {

// The locale's thousands separator in UTF-8; "," where the locale gives none.
std::string ThousandsSeparator();

// Whole number with its digits grouped in threes, '-' when negative.
std::string FormatCount(std::int64_t value, std::string_view separator);
// The same with the locale's separator.
std::string FormatCount(std::int64_t value);

// The locale's long time format (strftime form, in the locale's codeset).
std::string LongTimeFormat();
// The locale's 12-hour time format, which "%r" stands for.
std::string AmPmTimeFormat();

// A span of days written as a time of day with a strftime format in the
// locale's codeset; whole days and fractions of a second are dropped. The
// result is UTF-8 (the AM/PM text and the format's own words converted).
std::string FormatTimeOfDay(double days, std::string_view format);

// A run's length with the locale's long time format turned into a span:
// the hour counts from 0 on a 24-hour dial and the AM/PM text goes, since
// a span is no time of day; whole days go in front ("1天 02时00分08秒").
// ampmFormat is what "%r" stands for in the locale.
std::string DurationFormat(std::string_view timeFormat, std::string_view ampmFormat);
std::string FormatDuration(double days, std::string_view timeFormat, std::string_view ampmFormat);
// The same with the locale's own formats.
std::string FormatDuration(double days);

// UTF-8 text in the locale's codeset, for the terminal: a GBK terminal
// gets GBK; a codeset that cannot show Chinese gets the UTF-8 unchanged.
std::string InLocaleCodeset(std::string_view text);

// Local date and time as days since 30 December 1899, the fraction being
// the time of day.
double NowAsDays();

// The present moment in local time as ISO 8601 with the zone's offset,
// "2026-12-07T10:00:00+08:00".
std::string NowIso8601();

}  // namespace Platform
