#include "Locale.h"

#include <langinfo.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "TextEncoding.h"

namespace Platform {

namespace {

constexpr double SecondsPerDay = 86400.0;
constexpr long long MillisecondsPerDay = 86400000;
// Day number of 1 January 1970 when 30 December 1899 is day 0.
constexpr double UnixEpochDays = 25569.0;

// Seconds into the day that a day count's fraction stands for. The fraction
// is first rounded to the millisecond, so that a value like 65 s / 86400,
// which a double cannot hold exactly, still gives 65 s and not 64 s; then
// the fraction of a second is dropped.
int SecondOfDay(double days) {
  if (!std::isfinite(days) || days < 0) return 0;
  const double fraction = days - std::floor(days);
  const long long ms = std::llround(fraction * static_cast<double>(MillisecondsPerDay));
  return static_cast<int>((ms % MillisecondsPerDay) / 1000);
}

// Whole seconds of a span of days, rounded to the millisecond first as above.
long long SecondsOf(double days) {
  if (!std::isfinite(days) || days < 0 || days > 1e9) return 0;
  return std::llround(days * static_cast<double>(MillisecondsPerDay)) / 1000;
}

// Removes the AM/PM conversion that spans [at, end) with the blank that
// joins it to the time; returns where the text after it now begins.
std::size_t DropAmPm(std::string& format, std::size_t at, std::size_t end) {
  if (at > 0 && format[at - 1] == ' ')
    --at;
  else if (end < format.size() && format[end] == ' ')
    ++end;
  format.erase(at, end - at);
  return at;
}

// nl_langinfo and strftime give texts in the locale's own codeset (GBK under
// zh_CN.GBK, Latin-1 under fr_FR.ISO-8859-1), but every line is UTF-8.
// nl_langinfo follows the calling thread's locale (uselocale) when it has
// one, and the process locale otherwise.
std::string FromLocaleCodeset(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? std::string(text) : ToUtf8(text, nl_langinfo(CODESET));
}

}  // namespace

std::string ThousandsSeparator() {
  const char* separator = nl_langinfo(THOUSEP);
  if (separator == nullptr || *separator == '\0') return ",";
  return FromLocaleCodeset(separator);
}

std::string FormatCount(std::int64_t value, std::string_view separator) {
  // The magnitude is taken in unsigned arithmetic, where negating the most
  // negative value is defined.
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) magnitude = 0 - magnitude;
  std::string digits = std::to_string(magnitude);
  std::string result;
  if (value < 0) result += '-';
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) result += separator;
    result += digits[i];
  }
  return result;
}

std::string FormatCount(std::int64_t value) { return FormatCount(value, ThousandsSeparator()); }

std::string LongTimeFormat() {
  const char* format = nl_langinfo(T_FMT);
  return format != nullptr ? format : "";
}

std::string AmPmTimeFormat() {
  const char* format = nl_langinfo(T_FMT_AMPM);
  return format != nullptr ? format : "";
}

std::string FormatTimeOfDay(double days, std::string_view format) {
  const int seconds = SecondOfDay(days);
  // Only the time fields are set; zeros elsewhere are harmless for the
  // time conversions, and %p reads tm_hour alone.
  struct tm time {};
  time.tm_hour = seconds / 3600;
  time.tm_min = seconds / 60 % 60;
  time.tm_sec = seconds % 60;
  // strftime returns 0 both for an empty result and for a full buffer; a
  // trailing space in the format tells the two apart.
  const std::string spaced = std::string(format) + ' ';
  std::vector<char> buffer(64 + spaced.size() * 4);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::size_t length = strftime(buffer.data(), buffer.size(), spaced.c_str(), &time);
    if (length > 0) return FromLocaleCodeset(std::string_view(buffer.data(), length - 1));
    buffer.resize(buffer.size() * 4);
  }
  return {};
}

std::string DurationFormat(std::string_view timeFormat, std::string_view ampmFormat) {
  std::string format;
  for (std::size_t i = 0; i < timeFormat.size(); ++i) {
    if (timeFormat[i] == '%' && i + 1 < timeFormat.size() && timeFormat[i + 1] == 'r') {
      format += ampmFormat.empty() ? std::string_view("%I:%M:%S %p") : ampmFormat;
      ++i;
    } else {
      format += timeFormat[i];
    }
  }
  // Conversions are "%", flags ("-", "_", "0", "^", "#"), then the letter.
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%') {
      ++i;
      continue;
    }
    std::size_t letter = i + 1;
    while (letter < format.size() && std::string_view("-_0^#").find(format[letter]) != std::string_view::npos)
      ++letter;
    if (letter >= format.size()) break;
    char& c = format[letter];
    if (c == 'p' || c == 'P') {
      i = DropAmPm(format, i, letter + 1);
      continue;
    }
    if (c == 'I') c = 'H';
    if (c == 'l') c = 'k';
    i = letter + 1;
  }
  return format;
}

std::string FormatDuration(double days, std::string_view timeFormat, std::string_view ampmFormat) {
  const long long seconds = SecondsOf(days);
  const long long wholeDays = seconds / 86400;
  std::string text = FormatTimeOfDay(static_cast<double>(seconds % 86400) / SecondsPerDay,
                                     DurationFormat(timeFormat, ampmFormat));
  if (wholeDays > 0) text = std::to_string(wholeDays) + "天 " + text;
  return text;
}

std::string FormatDuration(double days) {
  return FormatDuration(days, LongTimeFormat(), AmPmTimeFormat());
}

double NowAsDays() {
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t seconds = now.tv_sec;
  struct tm local {};
  localtime_r(&seconds, &local);
  const auto localSeconds = static_cast<double>(seconds + local.tm_gmtoff);
  return UnixEpochDays + localSeconds / SecondsPerDay +
         static_cast<double>(now.tv_nsec) / (SecondsPerDay * 1e9);
}

std::string NowIso8601() {
  const time_t seconds = time(nullptr);
  struct tm local {};
  localtime_r(&seconds, &local);
  char text[64] = {};
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  // strftime's offset is +0800; ISO 8601's extended form wants +08:00.
  const std::string_view result = text;
  if (result.size() < 5) return std::string(result);
  return std::string(result.substr(0, result.size() - 2)) + ":" +
         std::string(result.substr(result.size() - 2));
}

std::string InLocaleCodeset(std::string_view text) {
  const char* codeset = nl_langinfo(CODESET);
  // A codeset without Chinese (the C locale's ASCII, Latin-1) would turn
  // every message into question marks: UTF-8 is what a terminal set up
  // that way most likely shows anyway.
  if (FromUtf8("校验", codeset).find('?') != std::string::npos) return std::string(text);
  return FromUtf8(text, codeset);
}

}  // namespace Platform
