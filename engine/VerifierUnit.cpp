#include "VerifierUnit.h"

#include <algorithm>
#include <stdexcept>

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
  bool CutShortByStop = false;
};

TReadBuffer AllocateReadBuffer(std::size_t size) {
  return TReadBuffer(
      static_cast<std::byte*>(::operator new[](size, ReadBufferAlignment, std::nothrow)));
}

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TNoThread)
    : Status(status), Setup(setup) {}

TVerifier::TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TBufferAllocator allocate)
    : Status(status), Setup(setup) {
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
  if (!IsValidReadUnit(Setup.ReadUnit) || Status.ReadBuffer == nullptr ||
      Status.ReadBufferSize < static_cast<std::size_t>(Setup.ReadUnit))
    throw std::logic_error("VerifyFile needs a read unit of 1..1048576 and a buffer that long");

  AnnounceFile(path, size, attributes);
  TFileCheck check;
  TReadFile file;
  if (const int code = file.Open(path); code != 0) {
    Status.FileError = true;
    check.FailureMessage = LogText::CannotOpen;
    check.ErrorCode = code;
  } else {
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
  TMutexLock hold(Status.Mutex);
  Status.CurrentFilePosition = size;
}

void TVerifier::RecordError(const std::string& path, const TFileCheck& check) {
  using namespace LogText;
  Status.FileError = false;
  ++Status.FilesError;
  Status.LastErrorFile = path;
  Status.LastErrorMessage = check.FailureMessage;
  const std::string text = Platform::SystemErrorText(check.ErrorCode);
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
    VerifyItems();
    Status.ReadBuffer = nullptr;
    Status.ReadBufferSize = 0;
  } else {
    AppendLog(LogText::BufferFailure(size));
  }
  buffer.reset();
  CloseLog();
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
  Status.StartTime = NowAsDays();
}

void TVerifier::VerifyItems() {
  const std::size_t count = Setup.VerifyList.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string item = Setup.VerifyList[i];
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
  const std::string directory = CurrentDirectoryOf(path);
  {
    TMutexLock hold(Status.Mutex);
    Status.CurrentDirectory = directory;
  }
  AppendLog(LogText::ScanLine(path, LogText::AttributeLetters(FileAttributeSet())));
  const bool skipped = ScanFiles(path, directory);
  if (skipped) return;
  // Tested here too, so that a stopped run does not descend any further.
  if (Setup.AllSubdirectories && !Terminated()) ScanSubdirectories(path, directory);
}

// The file phase; true when the directory was left on request.
bool TVerifier::ScanFiles(const std::string& path, const std::string& directory) {
  TDirSearch search(path, FileAttributeSet());
  TSearchEntry entry;
  if (!search.Next(entry)) {
    AppendLog(LogText::NoMatch);
  } else {
    do {
      VerifyFile(directory + entry.Name, entry.Size, entry.Attributes);
      if (Status.SkipDirectory || Terminated()) break;
      Status.WaitWhilePaused();
    } while (search.Next(entry));
  }
  if (!Status.SkipDirectory) return false;
  TMutexLock hold(Status.Mutex);
  Status.SkipDirectory = false;
  ++Status.DirsSkipped;
  Status.Log.emplace_back(LogText::DirectorySkipped);
  return true;
}

void TVerifier::ScanSubdirectories(const std::string& path, const std::string& directory) {
  const std::string mask = NamePart(path);
  TDirSearch search(directory + "*.*", FileAttributeSet() | faDirectory);
  TSearchEntry entry;
  while (search.Next(entry)) {
    const bool isDirectory = entry.Attributes & faDirectory;
    if (isDirectory && (entry.Name == "." || entry.Name == "..")) continue;
    if (isDirectory && !Terminated()) {
      ScanDirectory(directory + entry.Name + PathDelimiter + mask);
      TMutexLock hold(Status.Mutex);
      Status.CurrentDirectory = directory;
    }
    if (Terminated()) break;
    Status.WaitWhilePaused();
  }
}
