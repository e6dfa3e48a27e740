#include "StretchReads.h"

#include <algorithm>
#include <chrono>

#include "VerifySetupInfo.h"

TStretchReads::TStretchReads(Platform::TReadFile& file, std::byte* buffer,
                             std::size_t bufferSize, std::int64_t unit, TDataSink* sink)
    : File(file),
      Buffer(buffer),
      UnitBytes(unit),
      StretchBytes(std::max(
          unit, std::min<std::int64_t>(static_cast<std::int64_t>(bufferSize), MaxReadUnit) /
                    unit * unit)),
      Next(unit),
      Sink(sink) {}

void TStretchReads::Deliver(std::int64_t at, std::int64_t done) {
  const std::int64_t end = at + done;
  if (end <= Delivered) return;
  const std::int64_t from = std::max(at, Delivered);
  if (Sink != nullptr)
    Sink->Data(Buffer + (from - at), static_cast<std::size_t>(end - from));
  Counted += end - from;
  Delivered = end;
}

namespace {

// Longer than a disk's seek and a busy controller's queue: a medium that
// takes this long is slow to answer, whatever the length asked for.
constexpr std::chrono::milliseconds SlowAnswer{50};

}  // namespace

TStretchRead TStretchReads::Read(std::int64_t at, std::int64_t count) {
  const auto start = std::chrono::steady_clock::now();
  TStretchRead result = ReadStretch(at, count);
  const bool slow = std::chrono::steady_clock::now() - start >= SlowAnswer;
  Next = !result.Ok ? UnitBytes : slow ? StretchBytes : std::min(Next * 2, StretchBytes);
  return result;
}

int TStretchReads::TimedRead(std::int64_t at, std::int64_t count, std::int64_t& done) {
  const auto start = std::chrono::steady_clock::now();
  const int code = Caller != nullptr ? Caller->Read(File, Buffer, count, done)
                                     : File.Read(Buffer, count, done);
  if (Times != nullptr && code != ReadLeftBehind)
    NoteTime(at, count, std::chrono::steady_clock::now() - start);
  return code;
}

void TStretchReads::NoteTime(std::int64_t at, std::int64_t count,
                             std::chrono::steady_clock::duration took) {
  using namespace std::chrono;
  const auto& bounds = TReadTimeHistogram::UpperBoundsMs;
  std::size_t band = 0;
  while (band < bounds.size() && took >= milliseconds(bounds[band])) ++band;
  ++Times->Counts[band];
  if (took <= SlowThreshold) return;
  const std::int64_t ms = duration_cast<milliseconds>(took).count();
  if (!Slow.empty() && Slow.back().Offset + Slow.back().Length == at) {
    Slow.back().Length += count;
    Slow.back().Milliseconds += ms;
  } else {
    Slow.push_back({at, count, ms});
  }
}

TStretchRead TStretchReads::ReadStretch(std::int64_t at, std::int64_t count) {
  std::int64_t done = 0;
  const int code = TimedRead(at, count, done);
  if (code == ReadLeftBehind) return {.Ok = false, .FailedAt = at, .LeftBehind = true};
  Deliver(at, done);
  if (code == 0 && done == count) return {};
  // The unit the failing call fell in; the ones before it were read whole.
  const std::int64_t unitStart = at + done / UnitBytes * UnitBytes;
  if (code == 0) return {.Ok = false, .FailedAt = unitStart, .Code = 0, .EndedAt = at + done};
  if (count <= UnitBytes) {
    NoteBad(unitStart, at + count - unitStart, code);
    return {.Ok = false, .FailedAt = unitStart, .Code = code};
  }
  return ReadAgainInUnits(unitStart, at + count, code);
}

// On a fresh open (some drivers recover only then), and from the medium:
// what the failed read left in the cache would fail good units or pass bad
// ones.
TStretchRead TStretchReads::ReadAgainInUnits(std::int64_t from, std::int64_t end, int code) {
  File.ReopenAt(from);
  File.ReadAgainFromMedium(from, end - from);
  TStretchRead again = ReadInUnits(from, end, code);
  File.ReadAsUsual();
  return again;
}

// All units from one that failed in a stretch (with code) to the stretch's
// end; the first that fails again is the failure, at its very unit. Where
// none does, the medium gave its data on the second try: the file fails
// all the same, where the failed call began, as reading in units
// throughout might have met the fault at any of them.
TStretchRead TStretchReads::ReadInUnits(std::int64_t from, std::int64_t end, int code) {
  TStretchRead first;
  for (std::int64_t at = from; at < end; at += UnitBytes) {
    const std::int64_t count = std::min(UnitBytes, end - at);
    std::int64_t done = 0;
    const int unitCode = TimedRead(at, count, done);
    if (unitCode == ReadLeftBehind) return {.Ok = false, .FailedAt = at, .LeftBehind = true};
    Deliver(at, done);
    if (unitCode == 0 && done < count)
      return {.Ok = false, .FailedAt = at, .Code = 0, .EndedAt = at + done};
    if (unitCode == 0) continue;
    NoteBad(at, count, unitCode);
    if (first.Ok) first = {.Ok = false, .FailedAt = at, .Code = unitCode};
    if (!KeepGoing) break;
  }
  if (!first.Ok) return first;
  NoteBad(from, end - from, code, true);
  return {.Ok = false, .FailedAt = from, .Code = code, .Intermittent = true};
}

// The next read starts after the failing unit, on a fresh open: some
// drivers recover only then.
void TStretchReads::NoteBad(std::int64_t at, std::int64_t count, int code, bool intermittent) {
  if (!KeepGoing) return;
  if (!Bad.empty() && Bad.back().Offset + Bad.back().Length == at && Bad.back().Code == code &&
      Bad.back().Intermittent == intermittent)
    Bad.back().Length += count;
  else
    Bad.push_back({at, count, code, intermittent});
  File.ReopenAt(at + count);
}

int TStretchReads::PassOverHole(std::int64_t bytes) {
  const int code = File.SkipForward(bytes);
  if (code != 0) return code;
  Delivered += bytes;
  Counted += bytes;
  if (Sink != nullptr) Sink->Zeros(static_cast<std::uint64_t>(bytes));
  return 0;
}
