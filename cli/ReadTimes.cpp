#include "ReadTimes.h"

#include "Locale.h"

std::string ReadTimesLine(const TReadTimeHistogram& times) {
  const auto& bounds = TReadTimeHistogram::UpperBoundsMs;
  std::string line = "读取用时:";
  for (std::size_t band = 0; band < times.Counts.size(); ++band) {
    if (band > 0) line += ",";
    line += band < bounds.size() ? " <" + std::to_string(bounds[band])
                                 : " ≥" + std::to_string(bounds.back());
    line += " 毫秒 " + Platform::FormatCount(times.Counts[band]);
  }
  return line;
}
