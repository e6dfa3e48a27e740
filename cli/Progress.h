#pragma once
// The one-line progress display on standard error while a run goes on.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "VerifyStatus.h"

// "1.5 MiB" and the like; plain bytes below one KiB.
std::string FormatBytes(std::int64_t bytes);

// The line for a snapshot taken seconds after the start, at most columns
// wide: the whole run's progress first, the current file last, cut to what
// room is left.
std::string ProgressLine(const TStatusSnapshot& snapshot, double seconds, std::size_t columns);

class TProgressDisplay {
 public:
  // At most ten refreshes a second: more would cost the run time and
  // nobody can read them.
  static constexpr std::chrono::milliseconds Interval{100};

  TProgressDisplay(std::FILE* terminal, bool enabled);
  bool Enabled() const { return Terminal != nullptr; }
  // How long until the next refresh is due; -1 when the display is off.
  int MillisecondsUntilDue() const;
  // Redraws the line when a refresh is due.
  void Refresh(TVerifyStatus& status);
  // Erases the line, so that what is written next starts clean.
  void Clear();

 private:
  using TClock = std::chrono::steady_clock;
  std::size_t Columns() const;

  std::FILE* Terminal;
  TClock::time_point Start;
  TClock::time_point LastDrawn;
  bool Drawn = false;
};
