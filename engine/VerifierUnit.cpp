#include "VerifierUnit.h"

#include <algorithm>
#include <stdexcept>

#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "Locale.h"
#include "LogText.h"
#include "Path.h"
#include "SystemError.h"

using namespace Platform;

// What one file check carries from its reads to its outcome.
struct TVerifier::TFileCheck {
  std::string FailureMessage;
  int ErrorCode = 0;
  // Where the data of a file shorter than its listed size ended; -1 otherwise.
  std::int64_t EndedAt = -1;
  bool CutShortByStop = false;
};

TReadBuffer AllocateReadBuffer(std::size_t size) {
  return TReadBuffer(
      static_cast<std::byte*>(::operator new[](size, ReadBufferAlignment, std::nothrow)));
}

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TNoThread,
                     TRunOptions options)
    : Status(status), Setup(setup), Options(options) {}

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TRunOptions options,
                     TBufferAllocator allocate)
    : Status(status), Setup(setup), Options(options) {
  if (Setup.PositionError && !IsValidReadUnit(Setup.ReadUnit))
    throw EVerifyError("读取单位必须在 1 至 1048576 之间.");
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

void TVerifier::CheckFile(const TDirectoryChain* directory, const std::string& path,
                          std::int64_t size, TAttributes attributes) {
  if (!IsValidReadUnit(Setup.ReadUnit) || Status.ReadBuffer == nullptr ||
      Status.ReadBufferSize < static_cast<std::size_t>(Setup.ReadUnit))
    throw std::logic_error("VerifyFile needs a read unit of 1..1048576 and a buffer that long");

  AnnounceFile(path, size, attributes);
  const bool droppedAhead = Ahead && Ahead->Reached(path);
  TFileCheck check;
  TReadFile file;
  const int code =
      directory != nullptr ? file.Open(*directory, NamePart(path)) : file.Open(path);
  if (code != 0) {
    Status.FileError = true;
    check.FailureMessage = LogText::CannotOpen;
    check.ErrorCode = code;
  } else {
    // What a copy has just written is still in memory; reading that would
    // prove nothing about the medium. A file read ahead was dropped before
    // that: dropping it again would only throw away what came from the
    // medium.
    if (!Options.Cached && !droppedAhead) file.DropCachedPages();
    ReadUnits(file, size, check);
    file.Close();
  }
  RecordOutcome(path, check);
}

void TVerifier::AnnounceFile(const std::string& path, std::int64_t size, TAttributes attributes) {
  TMutexLock hold(Status.Mutex);
  Status.CurrentFile = Platform::NamePart(path);
  Status.CurrentFileSize = size;
  Status.Log.push_back(LogText::FileLine(Status.CurrentFile));
  Status.Log.push_back(LogText::LengthLine(size, attributes));
  Status.CurrentFilePosition = 0;
}

bool TVerifier::ReadingInterrupted() const {
  return Terminated() || Status.SkipFile || Status.SkipDirectory;
}

// Reads count bytes; on failure records the message with the position of
// the unit that failed and the code of the failing call (0 for a file that
// simply ended early).
bool TVerifier::ReadOne(TReadFile& file, std::int64_t count, TFileCheck& check) {
  std::int64_t done = 0;
  const int code = file.Read(Status.ReadBuffer, count, done);
  if (code == 0 && done == count) return true;
  Status.FileError = true;
  check.FailureMessage = LogText::ReadErrorMessage(Status.CurrentFilePosition);
  check.ErrorCode = code;
  if (code == 0) check.EndedAt = Status.CurrentFilePosition + done;
  return false;
}

void TVerifier::ReadUnits(TReadFile& file, std::int64_t size, TFileCheck& check) {
  const std::int64_t unit = Setup.ReadUnit;
  std::int64_t remaining = size;
  while (remaining > unit) {
    if (!ReadOne(file, unit, check)) break;
    remaining -= unit;
    if (ReadingInterrupted()) break;
    Status.WaitWhilePaused();
    TMutexLock hold(Status.Mutex);
    Status.CurrentFilePosition = size - remaining;
  }
  bool readToEnd = false;
  if (!Status.FileError && !ReadingInterrupted()) {
    Status.WaitWhilePaused();
    readToEnd = ReadOne(file, remaining, check);
  }
  // A stop that kept bytes from being read must not pass the file as correct.
  check.CutShortByStop = !readToEnd && !Status.FileError && Terminated() && remaining > 0;
  // A failed file stays at the unit that failed: a full count would look
  // like a file read to its end.
  if (Status.FileError) return;
  TMutexLock hold(Status.Mutex);
  Status.CurrentFilePosition = size;
}

void TVerifier::RecordError(const std::string& path, const TFileCheck& check) {
  using namespace LogText;
  Status.FileError = false;
  ++Status.FilesError;
  Status.LastErrorFile = path;
  Status.LastErrorMessage = check.FailureMessage;
  const std::string text = check.EndedAt >= 0 ? ShortFileText(check.EndedAt)
                                              : Platform::SystemErrorText(check.ErrorCode);
  Status.Log.push_back(LogFailureLine(check.FailureMessage));
  Status.Log.push_back(LogErrorCodeLine(check.ErrorCode));
  Status.Log.push_back(LogSystemTextLine(text));
  Status.ErrorList.push_back(ErrorListEntry(check.FailureMessage, path));
  Status.ErrorList.push_back(ErrorListCodeLine(check.ErrorCode));
  Status.ErrorList.push_back(ErrorListSystemTextLine(text));
}

void TVerifier::RecordOutcome(const std::string& path, const TFileCheck& check) {
  TMutexLock hold(Status.Mutex);
  if (Status.FileError) {
    RecordError(path, check);
  } else if (Status.SkipFile) {
    Status.SkipFile = false;
    ++Status.FilesSkipped;
    Status.Log.emplace_back(LogText::FileSkipped);
  } else if (Status.SkipDirectory || check.CutShortByStop) {
    // SkipDirectory stays set: the walk consumes it.
    ++Status.FilesSkipped;
    Status.Log.emplace_back(LogText::FileSkipped);
  } else {
    ++Status.FilesOk;
    Status.LastOkFile = path;
    Status.TotalBytes += Status.CurrentFileSize;
    Status.Log.emplace_back(LogText::FileCorrect);
  }
}

// ---- the run ---------------------------------------------------------------

void TVerifier::AppendLog(std::string_view line) {
  // Every line goes in under the lock, so a window may read the log at any
  // moment without a race.
  TMutexLock hold(Status.Mutex);
  Status.Log.emplace_back(line);
}

void TVerifier::Execute(TBufferAllocator allocate) {
  OpenLog();
  if (!Setup.PositionError) Setup.ReadUnit = MaxReadUnit;
  const std::size_t size = Setup.PositionError
                               ? std::max<std::size_t>(static_cast<std::size_t>(Setup.ReadUnit), 4096)
                               : static_cast<std::size_t>(MaxReadUnit);
  TReadBuffer buffer = allocate(size);
  if (buffer) {
    Status.ReadBuffer = buffer.get();
    Status.ReadBufferSize = size;
    if (Options.ReadAhead)
      Ahead = std::make_unique<TReadAhead>(ReadAheadPlan(), Status, StopSource.get_token());
    VerifyItems();
    Ahead.reset();
    Status.ReadBuffer = nullptr;
    Status.ReadBufferSize = 0;
  } else {
    AppendLog(LogText::BufferFailure(size));
  }
  buffer.reset();
  CloseLog();
}

TReadAheadPlan TVerifier::ReadAheadPlan() const {
  return {.Items = Setup.VerifyList,
          .AllSubdirectories = Setup.AllSubdirectories,
          .FileAttributeSet = FileAttributeSet(),
          .DropCache = !Options.Cached,
          .Window = {}};
}

void TVerifier::OpenLog() {
  TMutexLock hold(Status.Mutex);
  Status.Idle = false;
  Status.Log.clear();
  Status.Log.push_back(LogText::TitleLine(GetFullVersion()));
  Status.Log.emplace_back();
  Status.Log.emplace_back(LogText::Rule);
  Status.Log.emplace_back(LogText::LogHeading);
  Status.ErrorList.clear();
  Status.SearchFailures.clear();
  Status.StartTime = NowAsDays();
}

void TVerifier::VerifyItems() {
  const std::size_t count = Setup.VerifyList.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string item = Setup.VerifyList[i];
    if (Ahead) Ahead->BeginItem(i);
    AppendLog(LogText::ItemStartLine(item));
    ScanDirectory(item);
    if (Terminated()) {
      AppendLog(LogText::Stopped);
      break;
    }
    Status.WaitWhilePaused();
  }
}

void TVerifier::CloseLog() {
  TMutexLock hold(Status.Mutex);
  Status.Finished = true;
  Status.EndTime = NowAsDays();
  auto& log = Status.Log;
  if (!Status.ErrorList.empty()) {
    log.emplace_back(LogText::Rule);
    log.emplace_back(LogText::ErrorListHeading);
    log.insert(log.end(), Status.ErrorList.begin(), Status.ErrorList.end());
  }
  log.emplace_back(LogText::Rule);
  log.emplace_back(LogText::SubtotalHeading);
  for (auto& line : LogText::CountLines(Status)) log.push_back(std::move(line));
  log.push_back(LogText::TimeLine(FormatTimeOfDay(Status.EndTime - Status.StartTime,
                                                  LongTimeFormat())));
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
  TDirectoryChain chain(DirectoryPart(path));
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
std::vector<std::string> TVerifier::ScanLevel(const std::string& path,
                                              const TDirectoryChain& chain) {
  const std::string directory = CurrentDirectoryOf(path);
  {
    TMutexLock hold(Status.Mutex);
    Status.CurrentDirectory = directory;
  }
  AppendLog(LogText::ScanLine(path, LogText::AttributeLetters(FileAttributeSet())));
  const bool skipped = ScanFiles(path, directory, chain);
  // Tested here too, so that a stopped run does not descend any further.
  if (skipped || !Setup.AllSubdirectories || Terminated()) return {};
  TSubdirectories subdirectories = ListSubdirectories(chain, FileAttributeSet());
  NoteSearchFailure(path, subdirectories.Error);
  return std::move(subdirectories.Names);
}

// The file phase; true when the directory was left on request.
bool TVerifier::ScanFiles(const std::string& path, const std::string& directory,
                          const TDirectoryChain& chain) {
  TDirSearch search(chain, NamePart(path), FileAttributeSet());
  TSearchEntry entry;
  if (!search.Next(entry)) {
    AppendLog(LogText::NoMatch);
  } else {
    do {
      CheckFile(&chain, directory + entry.Name, entry.Size, entry.Attributes);
      if (Status.SkipDirectory || Terminated()) break;
      Status.WaitWhilePaused();
    } while (search.Next(entry));
  }
  NoteSearchFailure(path, search.Error());
  if (!Status.SkipDirectory) return false;
  if (Ahead) Ahead->SkippedDirectory(directory);
  TMutexLock hold(Status.Mutex);
  Status.SkipDirectory = false;
  ++Status.DirsSkipped;
  Status.Log.emplace_back(LogText::DirectorySkipped);
  return true;
}

void TVerifier::NoteSearchFailure(const std::string& path, int code) {
  if (code == 0) return;
  std::string directory = DirectoryPart(path);
  if (directory.empty()) directory = ".";
  TMutexLock hold(Status.Mutex);
  auto& failures = Status.SearchFailures;
  // The file and the subdirectory phase of one directory, or two items in
  // one directory, fail alike: the directory is listed once.
  if (!failures.empty() && failures.back().Directory == directory) return;
  failures.push_back({directory, code});
}
