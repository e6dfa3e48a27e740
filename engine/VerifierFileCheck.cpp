#include "VerifierUnit.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "LogText.h"
#include "StretchReads.h"
#include "SystemError.h"

// The check of one file: its reads, and the outcome they come to.

using namespace Platform;

// What one file check carries from its reads to its outcome.
struct TVerifier::TFileCheck {
  TFileRecord Record;
  // Where the data of a file shorter than its listed size ended; -1 otherwise.
  std::int64_t EndedAt = -1;
  bool CutShortByStop = false;
  bool TimedOut = false;  // a read was left on the run's time limit
  bool Failed = false;    // could not be opened or read
  // Pages of the file stay in memory and no read could get past them.
  bool FromMemoryOnly = false;
  TDataSink* Sink = nullptr;  // where the bytes read go besides the buffer
  // What an interrupted run found of the file, when the reads go on from it.
  std::optional<TFileRecord> PartRead;
  std::int64_t ReadHere = 0;  // bytes this run's reads gave
  std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
  // When and where the reads so far were last handed on as progress.
  std::chrono::steady_clock::time_point NotedAt = Start;
  std::int64_t NotedPosition = 0;
};

namespace {

// How often a long file's progress is handed on: a run killed outright
// then reads again at most this much of the file it was in.
constexpr std::chrono::seconds ProgressInterval{2};
constexpr std::int64_t ProgressBytes = std::int64_t{64} << 20;

}  // namespace

void TVerifier::VerifyFile(const std::string& path, std::int64_t size, TAttributes attributes) {
  CheckFile(nullptr, path, size, attributes);
}

// In a run on its own thread the open goes through the reading thread: an
// open that hangs (a dying disk's inode, a server gone quiet) must let
// skip, stop and the time limit act as a read does. ReadLeftBehind when it
// was left: on the time limit the file failed to open, otherwise the
// request that left it decides.
int TVerifier::OpenFile(TReadFile& file, TDirectoryChain* directory, const std::string& path,
                        TFileCheck& check) {
  if (!Reader) return directory != nullptr ? file.Open(*directory, NamePart(path)) : file.Open(path);
  const int code = Reader->Open(file, directory, path);
  if (code != ReadLeftBehind) return code;
  if (Reader->TimedOut()) {
    check.TimedOut = true;
    return Platform::TimedOutCode();
  }
  check.CutShortByStop = Terminated();
  return code;
}

void TVerifier::CheckFile(TDirectoryChain* directory, const std::string& path, std::int64_t size,
                          TAttributes attributes, const TFileIdentity& found) {
  if (!IsValidReadUnit(ReadUnit()) || Buffer == nullptr ||
      BufferSize < static_cast<std::size_t>(ReadUnit()))
    throw std::logic_error("VerifyFile needs a read unit of 1..1048576 and a buffer that long");

  TFileCheck check;
  check.Record.Path = path;
  check.Record.Size = size;
  check.Record.Attributes = attributes;
  check.Record.Found = found;
  if (Options.Contents != nullptr) check.Sink = Options.Contents->BeginFile(path);
  // A content check needs every byte: such a file is read from its start.
  if (Options.Finished != nullptr && check.Sink == nullptr && found.Inode != 0)
    check.PartRead = Options.Finished->PartRead(path, found);
  // A device, FIFO or socket has no bytes a check could read, and opening
  // one has effects of its own (a watchdog starts, a serial line toggles):
  // it is never opened, and is correct as a file of length 0.
  if ((attributes & faSysFile) != 0) {
    check.Record.Size = 0;
    AnnounceFile(path, 0, attributes);
    if (Ahead) Ahead->Reached(path);
    RecordOutcome(path, check);
    return;
  }
  AnnounceFile(path, size, attributes);
  TReadFile file;
  const int code = OpenFile(file, directory, path, check);
  if (code == ReadLeftBehind) {
    if (Ahead) Ahead->Reached(path);
  } else if (code != 0) {
    if (Ahead) Ahead->Reached(path);
    check.Failed = true;
    check.Record.Outcome = TFileOutcome::OpenFailure;
    check.Record.ErrorCode = code;
    if (IsDriveGoneCode(code)) DriveLostCode = code;
  } else {
    check.FromMemoryOnly = !DropUnlessDroppedAhead(file, path);
    ReadUnits(file, size, check);
    file.Close();
    // A read left blocked took the buffer with it.
    if (Reader) Buffer = Reader->Buffer();
  }
  RecordOutcome(path, check);
}

// What a copy has just written is still in memory; reading that would prove
// nothing about the medium. The helper's drop counts only for the very file
// the worker has opened, unchanged since: a file rewritten or replaced in
// between holds new pages in memory. Dropping a file again that was read
// ahead would only throw away what came from the medium. Pages that stay
// (another process maps the file) are read past where the file system
// allows it; false where the reads can reach nothing but memory.
bool TVerifier::DropUnlessDroppedAhead(TReadFile& file, const std::string& path) {
  const auto dropped = Ahead ? Ahead->Reached(path) : std::nullopt;
  if (Options.Cached) return true;
  bool pagesKept = false;
  if (dropped && dropped->File == file.Identity()) {
    pagesKept = dropped->PagesKept;
  } else {
    file.DropCachedPages();
    pagesKept = file.PagesStillCached();
  }
  if (!pagesKept) return true;
  {
    TMutexLock hold(Status.Mutex);
    Status.PagesKeptFiles.push_back(path);
  }
  return file.ReadPastCache();
}

void TVerifier::AnnounceFile(const std::string& path, std::int64_t size, TAttributes attributes) {
  {
    TMutexLock hold(Status.Mutex);
    Status.BytesDone += Status.CurrentFileSize;
    Status.CurrentFile = Platform::NamePart(path);
    Status.CurrentFileDirectory = Platform::CurrentDirectoryOf(path);
    Status.CurrentFileSize = size;
    Status.CurrentFilePosition = 0;
  }
  Notify([&](TVerifyObserver& o) { o.FileStarted(path, size, attributes); });
}

// A file an interrupted run checked already, unchanged since: counted and
// reported from its record, without a byte read. False for any other file.
bool TVerifier::ReplayFinished(const std::string& path, const TSearchEntry& entry) {
  const std::optional<TFileRecord> done =
      Options.Finished != nullptr ? Options.Finished->Find(path, entry.Identity) : std::nullopt;
  if (!done) return false;
  AnnounceFile(path, done->Size, done->Attributes);
  if (Ahead) Ahead->Reached(path);
  {
    TMutexLock hold(Status.Mutex);
    Status.BytesUnread += done->Size;
    if (done->Outcome == TFileOutcome::Correct)
      CountCorrect(path, done->Size);
    else
      CountFailed(path, LogText::FailureMessage(*done));
  }
  CountReadTimes(*done);
  Notify([&](TVerifyObserver& o) { o.FileFinished(*done); });
  return true;
}

void TVerifier::CountReadTimes(const TFileRecord& record) {
  TMutexLock hold(Status.Mutex);
  ReadTimes += record.ReadTimes;
  if (!record.SlowRanges.empty()) ++FilesSlow;
}

bool TVerifier::ReadingInterrupted() const {
  return Terminated() || Status.SkipFile || Status.SkipDirectory;
}

// A file whose earlier read was left blocked is read only once that read
// has returned: never twice at the same time.
void TVerifier::ReadUnits(TReadFile& file, std::int64_t size, TFileCheck& check) {
  if (Reader && !Reader->WaitUntilFree(file.Identity())) {
    if (Reader->TimedOut())
      NoteReadFailure(
          {.Ok = false, .FailedAt = 0, .Code = Platform::TimedOutCode(), .LeftBehind = true},
          check);
    else
      check.CutShortByStop = Terminated() && size > 0;
    return;
  }
  ReadStretches(file, size, check);
}

// Reads the file in stretches; a failing one is read again in units, so
// that the failure recorded is that of the unit that failed.
void TVerifier::ReadStretches(TReadFile& file, std::int64_t size, TFileCheck& check) {
  TStretchReads reads(file, Buffer, BufferSize, ReadUnit(), check.Sink);
  if (Options.AllErrors) reads.ReadPastErrors();
  reads.TimeReads(Options.SlowRead, check.Record.ReadTimes);
  if (Reader) reads.CallReadsThrough(*Reader);
  reads.StartWith(ReadLength);
  const std::int64_t unit = reads.Unit();
  TStretchRead failure, first;
  std::int64_t remaining = size - GoOnFromPartRead(file, reads, check, first);
  const std::int64_t readBefore = reads.BytesRead();
  // Holes hold nothing on the medium: whole units inside one are passed
  // over, so an 8 TiB file with little data takes as long as its data. A
  // unit that touches data is read as always, so an error is reported at
  // the very position unit reads give.
  const bool sparse = file.MayHaveHoles();
  TReadFile::TDataStretch data;
  if (sparse) data = file.DataStretchFrom(size - remaining);
  while (remaining > 0 && failure.Ok && !ReadingInterrupted()) {
    Status.WaitWhilePaused();
    const std::int64_t at = size - remaining;
    if (sparse && at >= data.End) data = file.DataStretchFrom(at);
    std::int64_t step = std::min(reads.NextLength(), remaining);
    if (sparse && at + unit <= data.Start && remaining > unit) {
      // Never the last read: it stays a read, as for any file.
      step = std::min((data.Start - at) / unit, (remaining - 1) / unit) * unit;
      if (const int code = reads.PassOverHole(step)) {
        failure = {.Ok = false, .FailedAt = at, .Code = code};
        if (first.Ok) first = failure;
        break;  // the position is lost: nothing after it can be read
      }
    } else {
      failure = reads.Read(at, step);
    }
    // Left on a skip or a stop: the outcome is theirs. Left on the time
    // limit: the file failed there, and nothing more of it can be read.
    if (failure.LeftBehind && !Reader->TimedOut()) {
      check.Record.StoppedAt = at;
      break;
    }
    if (failure.LeftBehind) failure.Code = Platform::TimedOutCode();
    if (first.Ok) first = failure;
    // Past a read error only; a file that has ended has no more to read.
    if (Options.AllErrors && failure.Code != 0 && !failure.LeftBehind) failure = {};
    check.Record.BytesRead = reads.BytesRead();
    if (!failure.Ok) break;
    remaining -= step;
    {
      TMutexLock hold(Status.Mutex);
      Status.CurrentFilePosition = size - remaining;
    }
    if (remaining > 0) NoteProgress(reads, first, size - remaining, check);
  }
  ReadLength = reads.NextLength();
  check.ReadHere = reads.BytesRead() - readBefore;
  EndReads(reads, first, failure.Ok ? size - remaining : -1, remaining > 0, check);
}

// What the reads found goes into the check. stoppedAt: where the reads
// ended without a failure (-1 after one); unread: bytes were left.
void TVerifier::EndReads(const TStretchReads& reads, const TStretchRead& first,
                         std::int64_t stoppedAt, bool unread, TFileCheck& check) {
  check.Record.BadRanges = reads.BadRanges();
  check.Record.SlowRanges = reads.SlowRanges();
  // Only a stop leaves a file part-read; the check of a skipped one is over.
  if (Terminated() && unread && stoppedAt >= 0) check.Record.StoppedAt = stoppedAt;
  if (check.Record.StoppedAt <= 0 || !Terminated()) check.Record.StoppedAt = -1;
  if (!first.Ok) return NoteReadFailure(first, check);
  // A stop that kept bytes from being read must not pass the file as correct.
  check.CutShortByStop = Terminated() && unread;
}

// Where the reads of a file start: where an interrupted run left off, with
// what it had found taken on, or at 0.
std::int64_t TVerifier::GoOnFromPartRead(TReadFile& file, TStretchReads& reads, TFileCheck& check,
                                         TStretchRead& first) {
  const TFileRecord* soFar = check.PartRead ? &*check.PartRead : nullptr;
  if (soFar == nullptr || soFar->StoppedAt % reads.Unit() != 0 ||
      soFar->StoppedAt >= check.Record.Size || file.SeekTo(soFar->StoppedAt) != 0)
    return 0;
  reads.GoOnFrom(*soFar);
  check.Record.ReadTimes = soFar->ReadTimes;
  if (soFar->Outcome == TFileOutcome::ReadFailure)
    first = {.Ok = false,
             .FailedAt = soFar->ErrorPosition,
             .Code = soFar->ErrorCode,
             .Intermittent = soFar->ErrorIntermittent};
  check.NotedPosition = soFar->StoppedAt;
  TMutexLock hold(Status.Mutex);
  Status.CurrentFilePosition = soFar->StoppedAt;
  return soFar->StoppedAt;
}

// Every few seconds or tens of MiB of a file: what its reads have found up
// to at, for a run killed outright to go on from.
void TVerifier::NoteProgress(const TStretchReads& reads, const TStretchRead& first,
                             std::int64_t at, TFileCheck& check) {
  const auto now = std::chrono::steady_clock::now();
  if (now - check.NotedAt < ProgressInterval && at - check.NotedPosition < ProgressBytes) return;
  check.NotedAt = now;
  check.NotedPosition = at;
  TFileRecord soFar = check.Record;
  soFar.Outcome = first.Ok ? TFileOutcome::Stopped : TFileOutcome::ReadFailure;
  if (!first.Ok) {
    soFar.ErrorPosition = first.FailedAt;
    soFar.ErrorCode = first.Code;
    soFar.ErrorText = Platform::SystemErrorText(first.Code);
    soFar.ErrorIntermittent = first.Intermittent;
  }
  soFar.BadRanges = reads.BadRanges();
  soFar.SlowRanges = reads.SlowRanges();
  soFar.BytesRead = reads.BytesRead();
  soFar.StoppedAt = at;
  Notify([&](TVerifyObserver& o) { o.FileProgress(soFar); });
}

// A failed file stays at the unit that failed: a full count would look
// like a file read to its end.
void TVerifier::NoteReadFailure(const TStretchRead& failure, TFileCheck& check) {
  check.Failed = true;
  check.Record.Outcome = TFileOutcome::ReadFailure;
  check.Record.ErrorPosition = failure.FailedAt;
  check.Record.ErrorCode = failure.Code;
  check.Record.ErrorIntermittent = failure.Intermittent;
  check.EndedAt = failure.EndedAt;
  // Only a read left on the time limit comes here as left behind.
  check.TimedOut = failure.LeftBehind;
  TMutexLock hold(Status.Mutex);
  Status.CurrentFilePosition = failure.FailedAt;
}

void TVerifier::RecordError(const std::string& path, TFileCheck& check) {
  // A file that ended early failed no call: say what happened instead.
  check.Record.ErrorText = check.EndedAt >= 0 ? LogText::ShortFileText(check.EndedAt)
                           : check.TimedOut  ? std::string(LogText::ReadTimedOut)
                                             : Platform::SystemErrorText(check.Record.ErrorCode);
  TMutexLock hold(Status.Mutex);
  CountFailed(path, LogText::FailureMessage(check.Record));
}

// Counts the file in the status, then hands its record to the observers.
void TVerifier::RecordOutcome(const std::string& path, TFileCheck& check) {
  TFileRecord& record = check.Record;
  record.Seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - check.Start).count();
  bool judged = false;
  CountReadTimes(record);
  {
    TMutexLock hold(Status.Mutex);
    Status.BytesUnread += std::max<std::int64_t>(record.Size - check.ReadHere, 0);
  }
  if (check.Failed) {
    RecordError(path, check);
  } else {
    TMutexLock hold(Status.Mutex);
    if (Status.SkipFile) {
      Status.SkipFile = false;
      ++Status.FilesSkipped;
      record.Outcome = TFileOutcome::Skipped;
    } else if (Status.SkipDirectory || check.CutShortByStop) {
      // SkipDirectory stays set: the walk consumes it.
      ++Status.FilesSkipped;
      record.Outcome = check.CutShortByStop && !Status.SkipDirectory
                           ? TFileOutcome::Stopped
                           : TFileOutcome::DirectorySkipped;
    } else if (check.FromMemoryOnly) {
      record.Outcome = TFileOutcome::NotFromMedium;
      record.ErrorText = LogText::NotFromMedium;
      CountFailed(path, record.ErrorText);
    } else if (check.Sink == nullptr) {
      CountFinished(record, std::nullopt);
    } else {
      judged = true;
    }
  }
  if (judged) {
    JudgeContents(std::move(record));
    return;
  }
  if (check.Sink != nullptr) Options.Contents->FileDropped();
  Notify([&](TVerifyObserver& o) { o.FileFinished(record); });
}

// The contents decide a file read to its end, perhaps only after the
// worker has read on: the check may still be hashing what was read. The
// file is counted and reported when its verdict is in.
void TVerifier::JudgeContents(TFileRecord record) {
  const std::string path = record.Path;
  TVerdictQueue::TEntry* held = Verdicts->Hold(std::move(record));
  Options.Contents->FileRead(path, [this, held](std::optional<TContentFailure> failure) {
    Verdicts->Settle(held, std::move(failure));
  });
}

// A file read to its end: correct, or failed for its contents like a file
// that could not be read. The caller holds the status lock.
void TVerifier::CountFinished(TFileRecord& record, std::optional<TContentFailure> failure) {
  if (!failure) return CountCorrect(record.Path, record.Size);
  CountFailed(record.Path, failure->Message);
  record.Outcome = TFileOutcome::ContentMismatch;
  record.Content = std::move(*failure);
}

// The caller holds the status lock.
void TVerifier::CountCorrect(const std::string& path, std::int64_t size) {
  ++Status.FilesOk;
  Status.LastOkFile = path;
  Status.TotalBytes += size;
}

// The caller holds the status lock.
void TVerifier::CountFailed(const std::string& path, std::string message) {
  ++Status.FilesError;
  Status.LastErrorFile = path;
  Status.LastErrorMessage = std::move(message);
}
