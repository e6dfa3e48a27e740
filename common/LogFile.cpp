#include "LogFile.h"

#include <fstream>

#include "SafeFile.h"
#include "SystemError.h"
#include "TextEncoding.h"

ELogFileError::ELogFileError(const std::string& fileName, int code)
    : std::runtime_error("Cannot create file " + fileName),
      FReason(Platform::SystemErrorText(code)) {}

ELogFileError::ELogFileError(TText text, int code)
    : std::runtime_error(text.Message), FReason(Platform::SystemErrorText(code)) {}

namespace {

// Lines gathered before they are converted and written together.
constexpr std::size_t PieceSize = 1u << 20;

// The saved bytes a piece at a time.
template <class TLines>
Platform::TContentProducer LogPieces(const TLines& log) {
  return [&log, next = log.begin(), encoder = TLogEncoder(PieceSize)](std::string& piece) mutable {
    if (next == log.end()) return false;
    while (next != log.end() && !encoder.Add(*next)) ++next;
    if (next != log.end()) ++next;
    piece = encoder.TakePiece();
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

std::string TLogEncoder::TakePiece() {
  std::string piece = Platform::Utf8ToGb18030(Gathered);
  Gathered.clear();
  return piece;
}

TLogFileWriter::TLogFileWriter(const std::string& fileName)
    : FileName(fileName), Encoder(PieceSize) {
  Check(Output.Open(fileName));
}

void TLogFileWriter::Check(const Platform::TWriteResult& result) {
  if (result.Failed == Platform::TWriteStage::Create) throw ELogFileError(FileName, result.Error);
  if (result.Failed == Platform::TWriteStage::Write) throw EStreamWriteError(result.Error);
}

void TLogFileWriter::AppendLine(std::string_view line) {
  if (Encoder.Add(line)) Flush();
}

void TLogFileWriter::Flush() {
  if (!Encoder.Empty()) Check(Output.Append(Encoder.TakePiece()));
}

void TLogFileWriter::Commit() {
  Flush();
  Check(Output.Commit());
}

void CheckLogFileCreatable(const std::string& fileName) {
  std::ofstream out(fileName, std::ios::binary | std::ios::app);
  out.close();
  if (!out) throw ELogFileError(fileName);
}
