#include "OverallProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "Locale.h"

TOverallProgress OverallProgress(const TStatusSnapshot& s, double seconds) {
  TOverallProgress p;
  p.FilesDone = std::int64_t{s.FilesOk} + s.FilesError + s.FilesSkipped;
  p.BytesDone = s.BytesDone + s.CurrentFilePosition;
  p.TotalsFinal = s.CountComplete;
  // The count may lag behind the run (a warm cache, a tree that grew):
  // what is done is never more than the whole.
  p.FilesTotal = std::max(s.CountedFiles, p.FilesDone);
  p.BytesTotal = std::max(s.CountedBytes, p.BytesDone);
  const std::int64_t read = std::max<std::int64_t>(p.BytesDone - s.BytesUnread, 0);
  if (seconds > 0) p.BytesPerSecond = static_cast<double>(read) / seconds;
  if (!p.TotalsFinal) return p;
  if (p.BytesTotal > 0)
    p.Fraction = static_cast<double>(p.BytesDone) / static_cast<double>(p.BytesTotal);
  else
    p.Fraction = p.FilesTotal > 0 ? static_cast<double>(p.FilesDone) / static_cast<double>(p.FilesTotal) : 1.0;
  if (seconds < MinSecondsForEstimate || *p.Fraction <= 0) return p;
  // What is left goes at the speed of the bytes read: files that failed
  // early or were passed over took no time for their size.
  if (p.BytesTotal == 0)
    p.SecondsLeft = seconds * (1 - *p.Fraction) / *p.Fraction;
  else if (p.BytesPerSecond > 0)
    p.SecondsLeft = static_cast<double>(p.BytesTotal - p.BytesDone) / p.BytesPerSecond;
  return p;
}

TByteUnit ByteUnitOf(std::int64_t bytes) {
  static constexpr const char* Names[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double divisor = 1;
  std::size_t unit = 0;
  while (static_cast<double>(bytes) / divisor >= 1024 && unit + 1 < std::size(Names)) {
    divisor *= 1024;
    ++unit;
  }
  return {divisor, Names[unit]};
}

namespace {

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string BytesPair(const TOverallProgress& p) {
  const TByteUnit unit = ByteUnitOf(p.BytesTotal);
  const auto shown = [&](std::int64_t bytes) {
    return unit.Divisor == 1 ? std::to_string(bytes) : OneDecimal(static_cast<double>(bytes) / unit.Divisor);
  };
  return shown(p.BytesDone) + "/" + (p.TotalsFinal ? "" : "≥") + shown(p.BytesTotal) + " " + unit.Name;
}

// Rates as drives and networks state them: in decimal units.
std::string RateText(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 1e6)
    std::snprintf(text, sizeof text, "%.0f MB/s", bytesPerSecond / 1e6);
  else if (bytesPerSecond >= 1e3)
    std::snprintf(text, sizeof text, "%.0f kB/s", bytesPerSecond / 1e3);
  else
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  return text;
}

}  // namespace

std::string TimeLeftText(double seconds) {
  const auto total = static_cast<std::int64_t>(std::ceil(seconds));
  const std::int64_t hours = total / 3600, minutes = total / 60 % 60, rest = total % 60;
  if (hours > 0) return std::to_string(hours) + " 小时 " + std::to_string(minutes) + " 分";
  if (minutes > 0) return std::to_string(minutes) + " 分 " + std::to_string(rest) + " 秒";
  return std::to_string(rest) + " 秒";
}

std::string PercentText(const TOverallProgress& p) {
  if (!p.Fraction) return {};
  return std::to_string(static_cast<int>(std::floor(std::clamp(*p.Fraction, 0.0, 1.0) * 100))) + "% ";
}

std::string OverallCountsText(const TOverallProgress& p) {
  return PercentText(p) + BytesPair(p) + " " + Platform::FormatCount(p.FilesDone) + "/" +
         (p.TotalsFinal ? "" : "≥") + Platform::FormatCount(p.FilesTotal) + " 个文件";
}

std::string OverallText(const TOverallProgress& p) {
  std::string text = OverallCountsText(p) + " " + RateText(p.BytesPerSecond);
  if (p.SecondsLeft) text += " 剩余 " + TimeLeftText(*p.SecondsLeft);
  return text;
}
