#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "Locale.h"
#include "OverallProgress.h"
#include "TerminalText.h"

namespace {

constexpr std::size_t DefaultColumns = 80;
// Carriage return, then erase to the end of the line.
constexpr const char* ClearLine = "\r\x1b[K";

}  // namespace

std::string FormatBytes(std::int64_t bytes) {
  const TByteUnit unit = ByteUnitOf(bytes);
  if (unit.Divisor == 1) return std::to_string(bytes) + " B";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", static_cast<double>(bytes) / unit.Divisor, unit.Name);
  return text;
}

std::string ProgressLine(const TStatusSnapshot& s, double seconds, std::size_t columns) {
  std::string numbers = OverallText(OverallProgress(s, seconds));
  if (s.FilesError > 0) numbers += " 错误 " + Platform::FormatCount(s.FilesError);
  // Before the file's name, which is cut first when room is short.
  if (s.ReadStalledSeconds > 0) numbers += " " + StalledReadText(s.ReadStalledSeconds);
  numbers += " 当前: ";
  const std::size_t used = DisplayWidth(numbers);
  if (used >= columns) return FitToWidth(numbers, columns);
  return numbers + FitToWidth(PrintableText(s.CurrentFile), columns - used);
}

TProgressDisplay::TProgressDisplay(std::FILE* terminal, bool enabled)
    : Terminal(enabled ? terminal : nullptr), Start(TClock::now()), LastDrawn(Start) {}

int TProgressDisplay::MillisecondsUntilDue() const {
  if (!Enabled()) return -1;
  const auto due = LastDrawn + Interval - TClock::now();
  return static_cast<int>(
      std::max<std::int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(due).count()));
}

void TProgressDisplay::Refresh(TVerifyStatus& status) {
  if (!Enabled() || MillisecondsUntilDue() > 0) return;
  LastDrawn = TClock::now();
  const double seconds = std::chrono::duration<double>(LastDrawn - Start).count();
  // The last column stays empty: writing into it makes some terminals wrap.
  const std::string line = ProgressLine(TakeSnapshot(status), seconds, Columns() - 1);
  std::fprintf(Terminal, "%s%s", ClearLine, line.c_str());
  std::fflush(Terminal);
  Drawn = true;
}

void TProgressDisplay::Clear() {
  if (!Drawn) return;
  std::fputs(ClearLine, Terminal);
  std::fflush(Terminal);
  Drawn = false;
}

std::size_t TProgressDisplay::Columns() const {
  winsize size{};
  if (ioctl(fileno(Terminal), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return DefaultColumns;
}
