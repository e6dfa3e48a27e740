#include "VerifierUnit.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "Locale.h"
#include "LogText.h"
#include "Path.h"
#include "StretchReads.h"
#include "SystemError.h"

using namespace Platform;

// What one file check carries from its reads to its outcome.
struct TVerifier::TFileCheck {
  TFileRecord Record;
  // Where the data of a file shorter than its listed size ended; -1 otherwise.
  std::int64_t EndedAt = -1;
  bool CutShortByStop = false;
  bool TimedOut = false;  // a read was left on the run's time limit
  bool Failed = false;    // could not be opened or read
  TDataSink* Sink = nullptr;  // where the bytes read go besides the buffer
  std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
};

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TNoThread buffer,
                     TRunOptions options)
    : Status(status),
      Setup(setup),
      Options(std::move(options)),
      Buffer(buffer.Buffer),
      BufferSize(buffer.Size),
      Observers(Options.Observers) {
  if (Observers.empty()) {
    StatusLines = std::make_unique<TStatusLines>(Status);
    StatusErrorList = std::make_unique<TStoreLines>(Status.ErrorList);
    StatusLog = std::make_unique<TLogWriter>(*StatusLines, *StatusErrorList);
    Observers.push_back(StatusLog.get());
  }
  if (Options.Contents != nullptr) {
    Verdicts = std::make_unique<TVerdictQueue>(
        Observers, [this](TFileRecord& record, std::optional<TContentFailure> failure) {
          TMutexLock hold(Status.Mutex);
          CountFinished(record, std::move(failure));
        });
    Observers = {Verdicts.get()};
  }
}

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TRunOptions options,
                     TBufferAllocator allocate)
    : TVerifier(status, setup, TNoThread{}, std::move(options)) {
  if (Setup.PositionError && !IsValidReadUnit(Setup.ReadUnit))
    throw EVerifyError("读取单位必须在 1 至 1048576 之间.");
  // Taken now: the settings stay the user's, and a window that changes
  // them meanwhile changes nothing in this run.
  RunReadUnit = Setup.PositionError ? Setup.ReadUnit : MaxReadUnit;
  Thread = std::jthread([this, allocate](std::stop_token token) {
    // The thread's own stop request ends the run like Terminate does.
    std::stop_callback forward(token, [this] { Terminate(); });
    Execute(allocate);
  });
}

TVerifier::~TVerifier() {
  if (Thread.joinable()) {
    Terminate();
    Thread.join();
  }
  // Checks driven from the caller's thread may still have verdicts out,
  // which would otherwise arrive at a queue that is gone.
  if (Verdicts) Verdicts->Drain();
}

void TVerifier::Terminate() {
  StopSource.request_stop();
  // A paused worker sleeps on the flag; clearing it is what wakes it.
  Status.SetPaused(false);
}

void TVerifier::WaitFor() {
  if (Thread.joinable()) Thread.join();
}

void TVerifier::VerifyFile(const std::string& path, std::int64_t size, TAttributes attributes) {
  CheckFile(nullptr, path, size, attributes);
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
  const int code =
      directory != nullptr ? file.Open(*directory, NamePart(path)) : file.Open(path);
  if (code != 0) {
    if (Ahead) Ahead->Reached(path);
    check.Failed = true;
    check.Record.Outcome = TFileOutcome::OpenFailure;
    check.Record.ErrorCode = code;
  } else {
    DropUnlessDroppedAhead(file, path);
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
// ahead would only throw away what came from the medium.
void TVerifier::DropUnlessDroppedAhead(TReadFile& file, const std::string& path) {
  const auto dropped = Ahead ? Ahead->Reached(path) : std::nullopt;
  if (Options.Cached) return;
  bool pagesKept = false;
  if (dropped && dropped->File == file.Identity()) {
    pagesKept = dropped->PagesKept;
  } else {
    file.DropCachedPages();
    pagesKept = file.PagesStillCached();
  }
  if (!pagesKept) return;
  TMutexLock hold(Status.Mutex);
  Status.PagesKeptFiles.push_back(path);
}

void TVerifier::AnnounceFile(const std::string& path, std::int64_t size, TAttributes attributes) {
  {
    TMutexLock hold(Status.Mutex);
    Status.BytesDone += Status.CurrentFileSize;
    Status.CurrentFile = Platform::NamePart(path);
    Status.CurrentFileSize = size;
    Status.CurrentFilePosition = 0;
  }
  Notify([&](TVerifyObserver& o) { o.FileStarted(path, size, attributes); });
}

// A file an interrupted run checked already, unchanged since: counted and
// reported from its record, without a byte read. False for any other file.
bool TVerifier::ReplayFinished(const std::string& path, const TSearchEntry& entry) {
  const TFileRecord* done =
      Options.Finished != nullptr ? Options.Finished->Find(path, entry.Identity) : nullptr;
  if (done == nullptr) return false;
  AnnounceFile(path, done->Size, done->Attributes);
  if (Ahead) Ahead->Reached(path);
  {
    TMutexLock hold(Status.Mutex);
    if (done->Outcome == TFileOutcome::Correct) {
      ++Status.FilesOk;
      Status.LastOkFile = path;
      Status.TotalBytes += done->Size;
    } else {
      ++Status.FilesError;
      Status.LastErrorFile = path;
      Status.LastErrorMessage = LogText::FailureMessage(*done);
    }
  }
  CountReadTimes(*done);
  Notify([&](TVerifyObserver& o) { o.FileFinished(*done); });
  return true;
}

void TVerifier::CountReadTimes(const TFileRecord& record) {
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
  const std::int64_t unit = reads.Unit();
  std::int64_t remaining = size;
  // Holes hold nothing on the medium: whole units inside one are passed
  // over, so an 8 TiB file with little data takes as long as its data. A
  // unit that touches data is read as always, so an error is reported at
  // the very position unit reads give.
  const bool sparse = file.MayHaveHoles();
  TReadFile::TDataStretch data;
  if (sparse) data = file.DataStretchFrom(0);
  TStretchRead failure, first;
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
    if (failure.LeftBehind && !Reader->TimedOut()) break;
    if (failure.LeftBehind) failure.Code = Platform::TimedOutCode();
    if (first.Ok) first = failure;
    // Past a read error only; a file that has ended has no more to read.
    if (Options.AllErrors && failure.Code != 0 && !failure.LeftBehind) failure = {};
    check.Record.BytesRead = reads.BytesRead();
    if (!failure.Ok) break;
    remaining -= step;
    TMutexLock hold(Status.Mutex);
    Status.CurrentFilePosition = size - remaining;
  }
  check.Record.BadRanges = reads.BadRanges();
  check.Record.SlowRanges = reads.SlowRanges();
  if (!first.Ok) return NoteReadFailure(first, check);
  // A stop that kept bytes from being read must not pass the file as correct.
  check.CutShortByStop = Terminated() && remaining > 0;
}

// A failed file stays at the unit that failed: a full count would look
// like a file read to its end.
void TVerifier::NoteReadFailure(const TStretchRead& failure, TFileCheck& check) {
  check.Failed = true;
  check.Record.Outcome = TFileOutcome::ReadFailure;
  check.Record.ErrorPosition = failure.FailedAt;
  check.Record.ErrorCode = failure.Code;
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
  ++Status.FilesError;
  Status.LastErrorFile = path;
  Status.LastErrorMessage = LogText::FailureMessage(check.Record);
}

// Counts the file in the status, then hands its record to the observers.
void TVerifier::RecordOutcome(const std::string& path, TFileCheck& check) {
  TFileRecord& record = check.Record;
  record.Seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - check.Start).count();
  bool judged = false;
  CountReadTimes(record);
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
  if (!failure) {
    ++Status.FilesOk;
    Status.LastOkFile = record.Path;
    Status.TotalBytes += record.Size;
    return;
  }
  ++Status.FilesError;
  Status.LastErrorFile = record.Path;
  Status.LastErrorMessage = failure->Message;
  record.Outcome = TFileOutcome::ContentMismatch;
  record.Content = std::move(*failure);
}

// ---- the run ---------------------------------------------------------------

void TVerifier::Execute(TBufferAllocator allocate) {
  OpenLog();
  // Always the largest unit: with the error position on, reads go in
  // stretches of it too, and only a failing stretch is read in units.
  const auto size = static_cast<std::size_t>(MaxReadUnit);
  TReadBuffer buffer = allocate(size);
  if (buffer) {
    Reader = std::make_unique<TReaderThread>(
        std::move(buffer), size, allocate, TReaderRules{.Timeout = Options.ReadTimeout},
        [this] { return ReadingInterrupted(); }, Status.ReadStartedAt);
    Buffer = Reader->Buffer();
    BufferSize = size;
    if (Options.ReadAhead)
      Ahead = std::make_unique<TReadAhead>(ReadAheadPlan(), Status, StopSource.get_token());
    if (Options.Count)
      Counting = std::make_unique<TCountingWalk>(
          TCountPlan{Setup.VerifyList, Setup.LiteralItems, Setup.AllSubdirectories,
                     FileAttributeSet(), Options.Contents},
          Status, StopSource.get_token());
    VerifyItems();
    Counting.reset();
    Ahead.reset();
    Reader.reset();
    Buffer = nullptr;
    BufferSize = 0;
  } else {
    Notify([&](TVerifyObserver& o) { o.BufferFailed(size); });
  }
  buffer.reset();
  CloseLog();
}

TReadAheadPlan TVerifier::ReadAheadPlan() const {
  return {.Items = Setup.VerifyList,
          .LiteralItems = Setup.LiteralItems,
          .AllSubdirectories = Setup.AllSubdirectories,
          .FileAttributeSet = FileAttributeSet(),
          .DropCache = !Options.Cached,
          .Window = {},
          .Finished = Options.Finished};
}

void TVerifier::OpenLog() {
  {
    TMutexLock hold(Status.Mutex);
    Status.Idle = false;
    Status.Log.clear();
    Status.ErrorList.clear();
    Status.SearchFailures.clear();
    Status.MissingItems.clear();
    Status.PagesKeptFiles.clear();
    Status.Stopped = false;
    Status.StartTime = NowAsDays();
  }
  Notify([](TVerifyObserver& o) { o.RunStarted(); });
}

void TVerifier::VerifyItems() {
  const std::size_t count = Setup.VerifyList.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string item = Setup.VerifyList[i];
    if (Ahead) Ahead->BeginItem(i);
    Notify([&](TVerifyObserver& o) { o.ItemStarted(item); });
    VerifyItem(item);
    if (Terminated()) {
      NoteStopped();
      return;
    }
    Status.WaitWhilePaused();
  }
  VerifyFilesNotMet();
}

void TVerifier::NoteStopped() {
  {
    TMutexLock hold(Status.Mutex);
    Status.Stopped = true;
  }
  Notify([](TVerifyObserver& o) { o.RunStopped(); });
}

// Files the content check still expects after the walks: each is checked as
// an item of its own, so that a missing one is logged as a file that cannot
// be opened.
void TVerifier::VerifyFilesNotMet() {
  if (Options.Contents == nullptr) return;
  for (const std::string& path : Options.Contents->FilesNotMet()) {
    Notify([&](TVerifyObserver& o) { o.ItemStarted(path); });
    const TSearchEntry entry = FileByPath(path).value_or(TSearchEntry{});
    CheckFile(nullptr, path, entry.Size, entry.Attributes);
    if (Terminated()) {
      NoteStopped();
      break;
    }
    Status.WaitWhilePaused();
  }
}

// An item without wildcards names a file: when nothing of that name exists
// and the walk found no file for it anywhere, the run checked nothing the
// user asked for, which is no success.
void TVerifier::VerifyItem(const std::string& item) {
  ItemIsLiteral = Setup.LiteralItems.contains(item);
  // Files and failed searches so far: a directory that could not be
  // searched is reported as that already.
  const auto outcomesSoFar = [this] {
    TMutexLock hold(Status.Mutex);
    return std::int64_t{Status.FilesOk} + Status.FilesError + Status.FilesSkipped +
           static_cast<std::int64_t>(Status.SearchFailures.size());
  };
  const std::int64_t before = outcomesSoFar();
  ScanDirectory(item);
  const bool namesOneFile = ItemIsLiteral || NamePart(item).find_first_of("*?") == std::string::npos;
  ItemIsLiteral = false;
  // Its file is counted once its contents are judged.
  if (namesOneFile && Verdicts) Verdicts->Drain();
  if (!namesOneFile || outcomesSoFar() != before || Terminated()) return;
  if (const int code = NameError(item)) {
    TMutexLock hold(Status.Mutex);
    Status.MissingItems.push_back({item, code});
  }
}

TRunTotals TVerifier::Totals() {
  TMutexLock hold(Status.Mutex);
  Status.EndTime = NowAsDays();
  TRunTotals totals;
  totals.FilesOk = Status.FilesOk;
  totals.FilesError = Status.FilesError;
  totals.FilesSkipped = Status.FilesSkipped;
  totals.DirsSkipped = Status.DirsSkipped;
  totals.TotalBytes = Status.TotalBytes;
  totals.FilesSlow = FilesSlow;
  totals.ReadTimes = ReadTimes;
  totals.Elapsed = Status.EndTime - Status.StartTime;
  return totals;
}

void TVerifier::CloseLog() {
  if (Verdicts) Verdicts->Drain();
  const TRunTotals totals = Totals();
  Notify([&](TVerifyObserver& o) { o.RunFinished(totals); });
  // Finished only now, under one hold with Idle: whoever sees it finds the
  // closing lines written.
  TMutexLock hold(Status.Mutex);
  Status.Finished = true;
  Status.Idle = true;
}

// ---- the directory walk ----------------------------------------------------

TAttributes FileSearchAttributes(bool allFileAttributes) {
  TAttributes set = faReadOnly | faArchive;
  if (allFileAttributes) set |= faHidden | faSysFile;
  return set;
}

TAttributes TVerifier::FileAttributeSet() const {
  return FileSearchAttributes(Setup.AllFileAttributes);
}

void TVerifier::ScanDirectory(const std::string& path) {
  // Many items in one directory (a list of single files) share the way down.
  const std::string start = DirectoryPart(path);
  if (!ItemChain || !ItemChain->StandsAt(start)) ItemChain = std::make_unique<TDirectoryChain>(start);
  TDirectoryChain& chain = *ItemChain;
  WalkDepthFirst(
      path, chain, [&](const std::string& level) { return ScanLevel(level, chain); },
      [&](const std::string&) { return !Terminated(); }, [](const std::string&) {},
      [&](const std::string& parent) {
        // Back from a subdirectory's walk: the parent's files are current again.
        {
          TMutexLock hold(Status.Mutex);
          Status.CurrentDirectory = CurrentDirectoryOf(parent);
        }
        if (!Terminated()) Status.WaitWhilePaused();
      });
}

// Logs the directory and checks its files; returns the subdirectories to
// walk next (none when the directory was skipped).
std::vector<std::string> TVerifier::ScanLevel(const std::string& path, TDirectoryChain& chain) {
  const std::string directory = CurrentDirectoryOf(path);
  {
    TMutexLock hold(Status.Mutex);
    Status.CurrentDirectory = directory;
  }
  Notify([&](TVerifyObserver& o) { o.DirectoryStarted(path, FileAttributeSet()); });
  const bool skipped = ScanFiles(path, directory, chain);
  // Tested here too, so that a stopped run does not descend any further.
  if (skipped || ItemIsLiteral || !Setup.AllSubdirectories || Terminated()) return {};
  TSubdirectories subdirectories = Subdirectories.List(chain, FileAttributeSet());
  NoteSearchFailure(path, subdirectories.Error);
  return std::move(subdirectories.Names);
}

// The file phase; true when the directory was left on request.
bool TVerifier::ScanFiles(const std::string& path, const std::string& directory,
                          TDirectoryChain& chain) {
  TDirSearch search(chain, NamePart(path), FileAttributeSet(),
                    ItemIsLiteral ? TDirSearch::ExactName : TDirSearch::Everything);
  TSearchEntry entry;
  if (!search.Next(entry)) {
    // A directory that could not be searched is not one without matches.
    if (search.Error() == 0) Notify([](TVerifyObserver& o) { o.NoMatchingFiles(); });
  } else {
    do {
      const std::string file = directory + entry.Name;
      if (Options.Contents != nullptr && !Options.Contents->Wanted(file)) {
        // Passed over, yet counted: the read-ahead helper matches the
        // worker's files by their place in the walk.
        if (Ahead) Ahead->Reached(file);
        continue;
      }
      if (!ReplayFinished(file, entry))
        CheckFile(&chain, file, entry.Size, entry.Attributes, entry.Identity);
      if (Status.SkipDirectory || Terminated()) break;
      Status.WaitWhilePaused();
    } while (search.Next(entry));
  }
  NoteSearchFailure(path, search.Error());
  if (!Status.SkipDirectory) return false;
  if (Ahead) Ahead->SkippedDirectory(directory);
  {
    TMutexLock hold(Status.Mutex);
    Status.SkipDirectory = false;
    ++Status.DirsSkipped;
  }
  Notify([](TVerifyObserver& o) { o.DirectorySkipped(); });
  return true;
}

// A directory that could not be searched fails like a file: a block under
// its scan line, an entry in the error list, the last-error fields. The
// counts stay the files' own.
void TVerifier::NoteSearchFailure(const std::string& path, int code) {
  if (code == 0) return;
  std::string directory = DirectoryPart(path);
  if (directory.empty()) directory = ".";
  {
    TMutexLock hold(Status.Mutex);
    auto& failures = Status.SearchFailures;
    // The file and the subdirectory phase of one directory, or two items in
    // one directory, fail alike: the directory is listed once.
    if (!failures.empty() && failures.back().Directory == directory) return;
    failures.push_back({directory, code});
    Status.LastErrorFile = directory;
    Status.LastErrorMessage = LogText::CannotSearch;
  }
  TFileRecord record{.Path = directory,
                     .Outcome = TFileOutcome::SearchFailure,
                     .ErrorCode = code,
                     .ErrorText = Platform::SystemErrorText(code)};
  Notify([&](TVerifyObserver& o) { o.FileFinished(record); });
}
