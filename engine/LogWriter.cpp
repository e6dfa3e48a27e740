#include "LogWriter.h"

#include "Locale.h"
#include "LogText.h"
#include "Path.h"
#include "SystemError.h"
#include "VersionInfo.h"

using namespace LogText;

void TLogWriter::RunStarted() {
  Log.Append(TitleLine(GetFullVersion()));
  Log.Append("");
  Log.Append(Rule);
  Log.Append(LogHeading);
}

void TLogWriter::BufferFailed(std::size_t size) { Log.Append(BufferFailure(size)); }

void TLogWriter::ItemStarted(std::string_view item) { Log.Append(ItemStartLine(item)); }

void TLogWriter::DirectoryStarted(std::string_view path, Platform::TAttributes attributes) {
  Log.Append(ScanLine(path, AttributeLetters(attributes)));
}

void TLogWriter::NoMatchingFiles() { Log.Append(NoMatch); }

void TLogWriter::FileStarted(std::string_view path, std::int64_t size,
                             Platform::TAttributes attributes) {
  Log.Append(FileLine(Platform::NamePart(path)));
  Log.Append(LengthLine(size, attributes));
}

void TLogWriter::FileFinished(const TFileRecord& record) {
  switch (record.Outcome) {
    case TFileOutcome::Correct:
      Log.Append(FileCorrect);
      return;
    case TFileOutcome::Skipped:
    case TFileOutcome::DirectorySkipped:
    case TFileOutcome::Stopped:
      Log.Append(FileSkipped);
      return;
    case TFileOutcome::ContentMismatch:
      for (const std::string& line : ContentFailureLogLines(*record.Content)) Log.Append(line);
      for (const std::string& line : ContentFailureErrorList(*record.Content, record.Path))
        ErrorList.Append(line);
      return;
    case TFileOutcome::SearchFailure:
    case TFileOutcome::OpenFailure:
    case TFileOutcome::ReadFailure:
    case TFileOutcome::NotFromMedium:
      break;
  }
  const std::string message = FailureMessage(record);
  // A directory's block stands under its scan line, indented as that line's own.
  Log.Append(record.Outcome == TFileOutcome::SearchFailure ? std::string(CannotSearchLine)
                                                           : LogFailureLine(message));
  Log.Append(LogErrorCodeLine(record.ErrorCode));
  Log.Append(LogSystemTextLine(record.ErrorText));
  ListError(message, record.Path, record.ErrorCode, record.ErrorText);
}

void TLogWriter::ListError(std::string_view message, std::string_view path, int code,
                           std::string_view text) {
  ErrorList.Append(ErrorListEntry(message, path));
  ErrorList.Append(ErrorListCodeLine(code));
  ErrorList.Append(ErrorListSystemTextLine(text));
}

void TLogWriter::DirectorySkipped() { Log.Append(LogText::DirectorySkipped); }

// Listed as the file it names would be had it failed to open.
void TLogWriter::ItemMissing(std::string_view item, int code) {
  ListError(CannotOpen, item, code, Platform::SystemErrorText(code));
}

void TLogWriter::RunStopped() { Log.Append(Stopped); }

void TLogWriter::RunFinished(const TRunTotals& totals) {
  if (!ErrorList.Empty()) {
    Log.Append(Rule);
    Log.Append(ErrorListHeading);
    ErrorList.ForEach([this](std::string_view line) { Log.Append(line); });
  }
  Log.Append(Rule);
  Log.Append(SubtotalHeading);
  for (const std::string& line : CountLines(totals)) Log.Append(line);
  Log.Append(TimeLine(Platform::FormatDuration(totals.Elapsed)));
}

void TStatusLines::Append(std::string_view line) {
  TMutexLock hold(Status.Mutex);
  Status.Log.push_back(line);
}
