#include "VerifierUnit.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "Locale.h"
#include "LogText.h"
#include "Path.h"
#include "SystemError.h"

using namespace Platform;

namespace {

// Long enough for a helper between two calls to see the stop request.
constexpr std::chrono::milliseconds HelperEndLimit{200};

}  // namespace

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TNoThread buffer,
                     TRunOptions options)
    : Status(status),
      LiveSetup(&setup),
      Options(std::move(options)),
      Buffer(buffer.Buffer),
      BufferSize(buffer.Size) {
  std::vector<TVerifyObserver*> observers = Options.Observers;
  if (observers.empty()) {
    StatusLines = std::make_unique<TStatusLines>(Status);
    StatusErrorList = std::make_unique<TStoreLines>(Status.ErrorList);
    StatusLog = std::make_unique<TLogWriter>(*StatusLines, *StatusErrorList);
    observers.push_back(StatusLog.get());
  }
  Observers = std::make_unique<TObserverFanOut>(std::move(observers));
  Events = Observers.get();
  if (Options.Contents != nullptr) {
    Verdicts = std::make_unique<TVerdictQueue>(
        *Observers, [this](TFileRecord& record, std::optional<TContentFailure> failure) {
          TMutexLock hold(Status.Mutex);
          CountFinished(record, std::move(failure));
        });
    Events = Verdicts.get();
  }
}

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TRunOptions options,
                     TBufferAllocator allocate)
    : TVerifier(status, setup, TNoThread{}, std::move(options)) {
  // Taken now: the settings stay the user's, and a window that changes
  // them meanwhile changes nothing in this run.
  LiveSetup = nullptr;
  Setup = TakeRunSetup(setup);
  if (Setup.PositionError && !IsValidReadUnit(Setup.ReadUnit))
    throw EVerifyError("读取单位必须在 1 至 1048576 之间.");
  RunReadUnit = ReadUnitOfRun(Setup.PositionError, Setup.ReadUnit);
  Thread.Start([this, allocate](std::stop_token token) {
    // The thread's own stop request ends the run like Terminate does.
    std::stop_callback forward(token, [this] { Terminate(); });
    Execute(allocate);
  });
}

TVerifier::~TVerifier() {
  if (Thread.Running()) {
    Terminate();
    Thread.Join();
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

void TVerifier::WaitFor() { Thread.Join(); }

bool TVerifier::WaitFor(std::chrono::milliseconds limit) { return Thread.WaitFor(limit); }

bool TVerifier::Abandon() {
  Terminate();
  if (Thread.WaitFor(std::chrono::milliseconds(0))) {
    Thread.Join();
    return false;
  }
  // Files held for their verdicts then stay out of the log: waiting for
  // them could mean waiting for output that nobody takes.
  {
    TMutexLock hold(Status.Mutex);
    Status.Stopped = true;
  }
  if (!Observers->CloseStopped(Totals())) return false;
  {
    TMutexLock hold(Status.Mutex);
    Status.Finished = true;
    Status.Idle = true;
  }
  Thread.LetGo();
  return true;
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
    // A helper held in the kernel is let go with its object: the run's end
    // must not wait for a device that answers nothing.
    if (Counting && !Counting->Finish(HelperEndLimit)) KeepForever(Counting);
    if (Ahead && !Ahead->Finish(HelperEndLimit)) KeepForever(Ahead);
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
    return std::int64_t{Status.FilesOk} + Status.FilesError + Status.FilesSkipped + SearchFailureBlocks;
  };
  const std::int64_t before = outcomesSoFar();
  ScanDirectory(item);
  const bool namesOneFile = ItemIsLiteral || NamePart(item).find_first_of("*?") == std::string::npos;
  ItemIsLiteral = false;
  // Its file is counted once its contents are judged.
  if (namesOneFile && Verdicts) Verdicts->Drain();
  if (!namesOneFile || outcomesSoFar() != before || Terminated()) return;
  if (const int code = NameError(item)) {
    {
      TMutexLock hold(Status.Mutex);
      Status.MissingItems.push_back({item, code});
    }
    Notify([&](TVerifyObserver& o) { o.ItemMissing(item, code); });
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
  if (LiveSetup != nullptr) Setup = TakeRunSetup(*LiveSetup);
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
  ScanLineFailed = false;
  const bool skipped = ScanFiles(path, directory, chain);
  // Tested here too, so that a stopped run does not descend any further.
  if (skipped || ItemIsLiteral || !Setup.AllSubdirectories || Terminated()) return {};
  TSubdirectories subdirectories = Subdirectories.List(chain, FileAttributeSet());
  NoteSearchFailure(path, subdirectories.Error, subdirectories.DriveGone);
  return std::move(subdirectories.Names);
}

// The file phase; true when the directory was left on request, or could
// no longer be searched as its drive has gone.
bool TVerifier::ScanFiles(const std::string& path, const std::string& directory,
                          TDirectoryChain& chain) {
  TDirSearch search(chain, NamePart(path), FileAttributeSet(),
                    ItemIsLiteral ? TDirSearch::ExactName : TDirSearch::Everything);
  DriveLostCode = 0;
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
      // The names the listing gave from the system's memory would each
      // fail alike: the directory can no longer be searched.
      if (DriveLostCode != 0 || Status.SkipDirectory || Terminated()) break;
      Status.WaitWhilePaused();
    } while (search.Next(entry));
  }
  if (DriveLostCode != 0) {
    NoteSearchFailure(path, DriveLostCode, true);
    return true;
  }
  NoteSearchFailure(path, search.Error(), search.DriveGone());
  if (search.DriveGone()) return true;
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
void TVerifier::NoteSearchFailure(const std::string& path, int code, bool driveGone) {
  if (code == 0) return;
  std::string directory = DirectoryPart(path);
  if (directory.empty()) directory = ".";
  if (Options.Contents != nullptr && !Options.Contents->SearchMatters(directory)) return;
  {
    TMutexLock hold(Status.Mutex);
    // The file and the subdirectory phase of one scan fail alike: one
    // block. A later item in the directory gets its own under its own scan
    // line, but the directory is counted once.
    if (ScanLineFailed) return;
    ScanLineFailed = true;
    ++SearchFailureBlocks;
    auto& failures = Status.SearchFailures;
    if (std::ranges::none_of(failures, [&](const TSearchFailure& f) { return f.Directory == directory; }))
      failures.push_back({directory, code, driveGone});
    Status.LastErrorFile = directory;
    Status.LastErrorMessage = LogText::CannotSearch;
  }
  TFileRecord record{.Path = directory,
                     .Outcome = TFileOutcome::SearchFailure,
                     .ErrorCode = code,
                     .ErrorText = Platform::SystemErrorText(code)};
  Notify([&](TVerifyObserver& o) { o.FileFinished(record); });
}
