#include "ProgressView.h"

#include <algorithm>
#include <limits>

#include "Locale.h"
#include "TextEncoding.h"

QString CountText(std::int64_t count) {
  return QString::fromStdString(Platform::FormatCount(count));
}

QString FileSizeText(std::int64_t position, std::int64_t size, std::int64_t stalledSeconds) {
  QString text = CountText(position) + QLatin1Char('/') + CountText(size) + QStringLiteral("字节");
  if (stalledSeconds > 0)
    text += QLatin1Char(' ') + QString::fromStdString(StalledReadText(stalledSeconds));
  return text;
}

QString TotalSizeText(std::int64_t bytes) { return CountText(bytes) + QStringLiteral("字节"); }

TBarValues BarValues(std::int64_t position, std::int64_t size) {
  // Qt draws a range of 0..0 as a busy indicator; an empty file is an
  // empty bar.
  if (size <= 0) return {1, 0};
  position = std::clamp<std::int64_t>(position, 0, size);
  while (size > std::numeric_limits<int>::max()) {
    size >>= 1;
    position >>= 1;
  }
  return {static_cast<int>(size), static_cast<int>(position)};
}

std::string TrayTipOf(std::string_view fileName) {
  std::string tip = "Korvane - ";
  for (std::size_t i = 0; i < fileName.size();) {
    // A byte that starts no valid sequence stands alone.
    const std::size_t length = std::max<std::size_t>(Platform::Utf8SequenceLength(fileName, i), 1);
    if (tip.size() + length > TrayTipLimit) break;
    tip.append(fileName, i, length);
    i += length;
  }
  return tip;
}
