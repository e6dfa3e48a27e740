#include "BadRangeLines.h"

#include <utility>

#include "Locale.h"
#include "LogText.h"
#include "SystemError.h"

namespace {

// After a stretch whose read failed once and read well again, unit by unit.
constexpr const char* IntermittentNote = " (间歇性错误: 再读成功)";

// "PATH: KIND FIRST–LAST (LENGTH 字节)"
std::string RangeText(const std::string& path, const char* kind, std::int64_t offset,
                      std::int64_t length) {
  using Platform::FormatCount;
  return path + ": " + kind + " " + FormatCount(offset) + "–" + FormatCount(offset + length - 1) +
         " (" + FormatCount(length) + " 字节)";
}

}  // namespace

std::string BadRangeLine(const std::string& path, const TBadRange& range) {
  return RangeText(path, "坏区", range.Offset, range.Length) + " e=" +
         std::to_string(range.Code) + " " + Platform::SystemErrorText(range.Code) +
         (range.Intermittent ? IntermittentNote : "");
}

namespace {

// Without --all-errors the log alone would not tell why a file whose
// every unit read well failed.
std::string IntermittentErrorLine(const TFileRecord& record) {
  return record.Path + ": " + LogText::FailureMessage(record) + " e=" +
         std::to_string(record.ErrorCode) + " " + record.ErrorText + IntermittentNote;
}

}  // namespace

std::string SlowRangeLine(const std::string& path, const TSlowRange& range) {
  return RangeText(path, "慢区", range.Offset, range.Length) + " " +
         Platform::FormatCount(range.Milliseconds) + " 毫秒";
}

void TBadRangeLines::FileFinished(const TFileRecord& record) {
  const bool unlisted = record.ErrorIntermittent && record.BadRanges.empty();
  if (record.BadRanges.empty() && record.SlowRanges.empty() && !unlisted) return;
  std::lock_guard hold(Mutex);
  if (unlisted) Lines.push_back(IntermittentErrorLine(record));
  for (const TBadRange& range : record.BadRanges) Lines.push_back(BadRangeLine(record.Path, range));
  for (const TSlowRange& range : record.SlowRanges)
    Lines.push_back(SlowRangeLine(record.Path, range));
}

std::vector<std::string> TBadRangeLines::Take() {
  std::lock_guard hold(Mutex);
  return std::exchange(Lines, {});
}
