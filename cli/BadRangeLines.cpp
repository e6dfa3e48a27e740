#include "BadRangeLines.h"

#include <utility>

#include "Locale.h"
#include "SystemError.h"

std::string BadRangeLine(const std::string& path, const TBadRange& range) {
  using Platform::FormatCount;
  return path + ": 坏区 " + FormatCount(range.Offset) + "–" +
         FormatCount(range.Offset + range.Length - 1) + " (" + FormatCount(range.Length) +
         " 字节) e=" + std::to_string(range.Code) + " " + Platform::SystemErrorText(range.Code);
}

void TBadRangeLines::FileFinished(const TFileRecord& record) {
  if (record.BadRanges.empty()) return;
  std::lock_guard hold(Mutex);
  for (const TBadRange& range : record.BadRanges) Lines.push_back(BadRangeLine(record.Path, range));
}

std::vector<std::string> TBadRangeLines::Take() {
  std::lock_guard hold(Mutex);
  return std::exchange(Lines, {});
}
