#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "Locale.h"
#include "TerminalText.h"

namespace {

constexpr std::size_t DefaultColumns = 80;
// Carriage return, then erase to the end of the line.
constexpr const char* ClearLine = "\r\x1b[K";

}  // namespace

std::string FormatBytes(std::int64_t bytes) {
  static constexpr const char* Units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(Units)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, Units[unit]);
  return text;
}

std::string ProgressLine(const TStatusSnapshot& s, double seconds, std::size_t columns) {
  const double percent =
      s.CurrentFileSize > 0
          ? 100.0 * static_cast<double>(s.CurrentFilePosition) / static_cast<double>(s.CurrentFileSize)
          : 100.0;
  const double bytesRead = static_cast<double>(s.TotalBytes + s.CurrentFilePosition);
  const auto rate = static_cast<std::int64_t>(seconds > 0 ? bytesRead / seconds : 0);
  char head[32];
  std::snprintf(head, sizeof head, "%5.1f%% ", percent);
  const std::string numbers = head + FormatBytes(s.CurrentFilePosition) + "/" + FormatBytes(s.CurrentFileSize) +
                              "  正确 " + Platform::FormatCount(s.FilesOk) + "  错误 " +
                              Platform::FormatCount(s.FilesError) + "  共 " +
                              FormatBytes(s.TotalBytes) + "  " + FormatBytes(rate) + "/s  ";
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
