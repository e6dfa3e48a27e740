#pragma once
// How far a whole run has come and how long it has left, from a status
// snapshot and the time since the start; the terminal's progress line and
// the progress window show the same text.
#include <cstdint>
#include <optional>
#include <string>

#include "VerifyStatus.h"

struct TOverallProgress {
  std::int64_t FilesDone = 0;
  std::int64_t FilesTotal = 0;
  std::int64_t BytesDone = 0;
  std::int64_t BytesTotal = 0;
  // The totals are the counting walk's so far, lower bounds until it is done.
  bool TotalsFinal = false;
  double BytesPerSecond = 0;
  // Of the bytes (of the files for a run of empty files); only with final totals.
  std::optional<double> Fraction;
  // Only with final totals and after MinSecondsForEstimate.
  std::optional<double> SecondsLeft;
};

// Before this, a rate says more about the start-up than about the run.
inline constexpr double MinSecondsForEstimate = 2.0;

TOverallProgress OverallProgress(const TStatusSnapshot& snapshot, double seconds);

// The unit for a number of bytes: its divisor and its name ("B", "KiB" …).
struct TByteUnit {
  double Divisor;
  const char* Name;
};
TByteUnit ByteUnitOf(std::int64_t bytes);

// "37% 1.2/3.4 GiB 12,345/40,000 个文件 85 MB/s 剩余 2 分 10 秒"; totals that
// may still grow are written "≥3.4 GiB", without a percentage or time left.
std::string OverallText(const TOverallProgress& progress);
// Its first part, without the rate and the time left: "37% 1.2/3.4 GiB 12,345/40,000 个文件".
std::string OverallCountsText(const TOverallProgress& progress);
// "37% " with final totals, else nothing.
std::string PercentText(const TOverallProgress& progress);
// "2 分 10 秒", "1 小时 5 分", "45 秒".
std::string TimeLeftText(double seconds);
