#pragma once
// Reads a file in large stretches and, only where a stretch fails, reads it
// again in the user's read unit: a failure is then placed at the very unit
// that reading in that unit throughout would find on a medium whose errors
// are stable, while a sound file costs a few large reads instead of
// millions of small ones.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ContentCheck.h"
#include "File.h"
#include "FileRecord.h"

// How a read call is made; by default straight on the file, on the
// calling thread.
class TReadCaller {
 public:
  virtual ~TReadCaller() = default;
  // As TReadFile::Read, or ReadLeftBehind.
  virtual int Read(Platform::TReadFile& file, std::byte* buffer, std::int64_t count,
                   std::int64_t& done) = 0;
};
// The check left a read that did not return (skip, stop, time limit): it
// has no result, and the file's reads end.
inline constexpr int ReadLeftBehind = -1;

struct TStretchRead {
  bool Ok = true;
  // Where it failed: the position of the unit that failed, the code of
  // the failing call (0 for a file that ended early, at EndedAt).
  std::int64_t FailedAt = 0;
  int Code = 0;
  std::int64_t EndedAt = -1;
  // The read was left, not failed (ReadLeftBehind): FailedAt is where it
  // began.
  bool LeftBehind = false;
  // A stretch read failed, yet every unit of it read again gave its data:
  // FailedAt is the start of what the failed call was asked for, Code its
  // code.
  bool Intermittent = false;
};

class TStretchReads {
 public:
  // Stretches are as long as the buffer allows, up to the largest read
  // unit, in whole units, so that every stretch starts on a unit boundary.
  TStretchReads(Platform::TReadFile& file, std::byte* buffer, std::size_t bufferSize,
                std::int64_t unit, TDataSink* sink);
  // Goes on past failing units to the end of each stretch, noting them all
  // (a read error then leaves the read position after the failing unit).
  void ReadPastErrors() { KeepGoing = true; }
  const std::vector<TBadRange>& BadRanges() const { return Bad; }
  // Counts the time of every read call in times and notes each call that
  // took longer than threshold as a slow range. Slow calls next to each
  // other make one range, with their times added: a worn area shows up as
  // one stretch, however many reads it took to get through it.
  void TimeReads(std::chrono::milliseconds threshold, TReadTimeHistogram& times) {
    SlowThreshold = threshold;
    Times = &times;
  }
  const std::vector<TSlowRange>& SlowRanges() const { return Slow; }
  // Makes every read call through caller.
  void CallReadsThrough(TReadCaller& caller) { Caller = &caller; }
  std::int64_t Unit() const { return UnitBytes; }

  // How much the next read should ask for. Reads grow from one unit, twice
  // as much after each good read, so that skip, pause and stop act between
  // reads early in a file; one unit right after a failure. A read slow to
  // answer takes the next ones to a full stretch at once: a medium whose
  // every answer takes that long (a network mount, an optical disc, a worn
  // stick) answers a large read about as fast as a small one. A slow read
  // is never a reason to ask for less: a read that hangs is left by the
  // caller (skip, stop, time limit) whatever its length.
  std::int64_t NextLength() const { return Next; }
  // The first read asks for length (in whole units, at most a stretch).
  void StartWith(std::int64_t length) {
    Next = std::clamp(length / UnitBytes * UnitBytes, UnitBytes, StretchBytes);
  }
  // Reads count bytes (at most a stretch) from the read position, at.
  TStretchRead Read(std::int64_t at, std::int64_t count);
  // Counts bytes of a hole as read, all zeros; the code of the failing
  // call when the position cannot be moved past them.
  int PassOverHole(std::int64_t bytes);
  // Goes on from where an earlier check of the file left off: its bytes
  // read, bad and slow ranges count as this check's own.
  void GoOnFrom(const TFileRecord& soFar) {
    Delivered = soFar.StoppedAt;
    Counted = soFar.BytesRead;
    Bad = soFar.BadRanges;
    Slow = soFar.SlowRanges;
  }
  // Bytes read (or passed over as holes) from the start, each once; bytes
  // of units that failed are not among them.
  std::int64_t BytesRead() const { return Counted; }

 private:
  int TimedRead(std::int64_t at, std::int64_t count, std::int64_t& done);
  void NoteTime(std::int64_t at, std::int64_t count, std::chrono::steady_clock::duration took);
  void Deliver(std::int64_t at, std::int64_t done);
  void NoteBad(std::int64_t at, std::int64_t count, int code, bool intermittent = false);
  TStretchRead ReadAgainInUnits(std::int64_t from, std::int64_t end, int code);
  TStretchRead ReadInUnits(std::int64_t from, std::int64_t end, int code);
  TStretchRead ReadStretch(std::int64_t at, std::int64_t count);

  Platform::TReadFile& File;
  std::byte* Buffer;
  std::int64_t UnitBytes;
  std::int64_t StretchBytes;
  std::int64_t Next;
  TDataSink* Sink;
  // The sink takes each byte once, in order, even where a failed stretch
  // is read again.
  std::int64_t Delivered = 0;
  // Delivered is a position: past a failed unit it takes in the unit too.
  std::int64_t Counted = 0;
  bool KeepGoing = false;
  std::vector<TBadRange> Bad;
  std::chrono::milliseconds SlowThreshold{0};
  TReadTimeHistogram* Times = nullptr;
  std::vector<TSlowRange> Slow;
  TReadCaller* Caller = nullptr;
};
