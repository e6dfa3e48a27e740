#include "LogFile.h"

#include <fstream>

#include "SafeFile.h"
#include "SystemError.h"
#include "TextEncoding.h"

ELogFileError::ELogFileError(const std::string& fileName, int code)
    : std::runtime_error("Cannot create file " + fileName),
      ErrorCode(code),
      FReason(Platform::SystemErrorText(code)) {}

ELogFileError::ELogFileError(TText text, int code)
    : std::runtime_error(text.Message), ErrorCode(code), FReason(Platform::SystemErrorText(code)) {}

namespace {

// Lines gathered before they are converted and written together.
constexpr std::size_t PieceSize = 1u << 20;

// The saved bytes a piece at a time: lines joined up to about a megabyte
// and converted together, so that neither the whole text nor a converter
// call per line is needed.
template <class TLines>
Platform::TContentProducer LogPieces(const TLines& log) {
  return [&log, next = log.begin(), utf8 = std::string()](std::string& piece) mutable {
    if (next == log.end()) return false;
    utf8.clear();
    for (; next != log.end() && utf8.size() < PieceSize; ++next) utf8.append(*next).append("\r\n");
    piece = Platform::Utf8ToGb18030(utf8);
    return true;
  };
}

}  // namespace

std::string LogFileText(const TStringList& log) {
  std::string text;
  const Platform::TContentProducer produce = LogPieces(log);
  for (std::string piece; produce(piece);) text += piece;
  return text;
}

namespace {

template <class TLines>
void Save(const TLines& log, const std::string& fileName) {
  TLogFileWriter writer(fileName);
  for (const std::string_view line : log) writer.AppendLine(line);
  writer.Commit();
}

}  // namespace

void SaveLogFile(const TStringList& log, const std::string& fileName) { Save(log, fileName); }
void SaveLogFile(const TLogStore& log, const std::string& fileName) { Save(log, fileName); }

TLogFileWriter::TLogFileWriter(const std::string& fileName) : FileName(fileName) {
  Check(Output.Open(fileName));
}

void TLogFileWriter::Check(const Platform::TWriteResult& result) {
  if (result.Failed == Platform::TWriteStage::Create) throw ELogFileError(FileName, result.Error);
  if (result.Failed == Platform::TWriteStage::Write) throw EStreamWriteError(result.Error);
}

void TLogFileWriter::AppendLine(std::string_view line) {
  Gathered.append(line).append("\r\n");
  if (Gathered.size() >= PieceSize) Flush();
}

void TLogFileWriter::Flush() {
  if (Gathered.empty()) return;
  const std::string piece = Platform::Utf8ToGb18030(Gathered);
  Gathered.clear();
  Check(Output.Append(piece));
}

void TLogFileWriter::Commit() {
  Flush();
  Check(Output.Commit());
}

void TLogFileWriter::Abandon() {
  Gathered.clear();
  Output.Abandon();
}

void CheckLogFileCreatable(const std::string& fileName) {
  std::ofstream out(fileName, std::ios::binary | std::ios::app);
  out.close();
  if (!out) throw ELogFileError(fileName);
}
