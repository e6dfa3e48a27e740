#pragma once
// What one file check found: one record per file, made once and handed to
// every consumer of a run's results (the log text, the windows, the
// terminal), so that none of them has to read another's output.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Attributes.h"
#include "ContentCheck.h"
#include "DirectoryChain.h"

enum class TFileOutcome {
  Correct,
  OpenFailure,
  ReadFailure,       // including a file that ended before its listed size
  Skipped,           // the user skipped the file
  DirectorySkipped,  // the user skipped the file's directory while it was read
  Stopped,           // the run was stopped before the file was read through
  SearchFailure,     // Path is a directory that could not be searched
  ContentMismatch,   // read to its end, but not what its checksum says
  // Read to its end from memory only: its pages could not be dropped
  // (another process maps them) nor read past.
  NotFromMedium,
};

// The outcomes that make a file an error: it could not be opened or read,
// its contents were not what its checksum says, or no read reached the medium.
constexpr bool IsFailure(TFileOutcome outcome) {
  return outcome == TFileOutcome::OpenFailure || outcome == TFileOutcome::ReadFailure ||
         outcome == TFileOutcome::ContentMismatch || outcome == TFileOutcome::NotFromMedium;
}

// A run of failing read units of one file, merged while the code stays the same.
struct TBadRange {
  std::int64_t Offset = 0;
  std::int64_t Length = 0;
  int Code = 0;
  // A stretch whose read failed though each of its units read again gave
  // its data: a fault that comes and goes (cable, controller, a marginal
  // sector).
  bool Intermittent = false;
  bool operator==(const TBadRange&) const = default;
};

// A read that took longer than the run's threshold: slow, not failing.
struct TSlowRange {
  std::int64_t Offset = 0;
  std::int64_t Length = 0;
  std::int64_t Milliseconds = 0;
  bool operator==(const TSlowRange&) const = default;
};

// How long the run's reads took, in the bands a failing medium shows up in:
// under 5, 20, 50, 150, 500 ms, and the rest.
struct TReadTimeHistogram {
  static constexpr std::array<std::int64_t, 5> UpperBoundsMs{5, 20, 50, 150, 500};
  std::array<std::int64_t, UpperBoundsMs.size() + 1> Counts{};
  TReadTimeHistogram& operator+=(const TReadTimeHistogram& other) {
    for (std::size_t i = 0; i < Counts.size(); ++i) Counts[i] += other.Counts[i];
    return *this;
  }
};

// What reading a failed file again several times showed: whether its
// fault is in the medium or came and went (a cable, a controller).
struct TRecheck {
  enum class TVerdict {
    Persistent,    // every try failed, at the same place
    Intermittent,  // some tries failed, or not at the same place
    Recovered,     // no try failed
  };
  int Tries = 0;
  int Failed = 0;
  TVerdict Verdict = TVerdict::Recovered;
};

struct TFileRecord {
  std::string Path;
  std::int64_t Size = 0;
  Platform::TAttributes Attributes = 0;
  // The file as the walk found it (device, inode, size, modification
  // time); empty when it was not found by a walk or not examinable.
  Platform::TFileIdentity Found{};
  TFileOutcome Outcome = TFileOutcome::Correct;
  // The first failure: the position of the read unit that failed (0 for a
  // file that could not be opened), the system's code (0 for a file that
  // ended early) and its text.
  std::int64_t ErrorPosition = 0;
  int ErrorCode = 0;
  std::string ErrorText;
  // The failed read's data came on a second try (TBadRange::Intermittent).
  bool ErrorIntermittent = false;
  // For ContentMismatch: the expected and the actual digest.
  std::optional<TContentFailure> Content{};
  // Every bad range, when the run goes on past a read error; the first
  // failure above is the first of them.
  std::vector<TBadRange> BadRanges{};
  // Reads slower than the run's threshold, in file order.
  std::vector<TSlowRange> SlowRanges{};
  // How long this file's reads took; a resumed run adds it to its own.
  TReadTimeHistogram ReadTimes{};
  std::int64_t BytesRead = 0;
  // A file the run's end left part-read: the position its reads had come
  // to, a whole number of read units, with everything above as found up
  // to there, so that a resumed run can go on from it. -1 for the rest.
  std::int64_t StoppedAt = -1;
  // Handed on from an earlier run's record, nothing read now.
  bool Replayed = false;
  double Seconds = 0;
  // Set for a file read again to tell a lasting fault from a passing one.
  std::optional<TRecheck> Recheck{};
};

// The run's counts when it ends.
struct TRunTotals {
  std::int64_t FilesOk = 0;
  std::int64_t FilesError = 0;
  std::int64_t FilesSkipped = 0;
  std::int64_t DirsSkipped = 0;
  std::int64_t TotalBytes = 0;
  std::int64_t FilesSlow = 0;
  TReadTimeHistogram ReadTimes{};
  // Days, as the status's start and end times.
  double Elapsed = 0;
};
