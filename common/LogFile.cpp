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

// The saved bytes a piece at a time: lines joined up to about a megabyte
// and converted together, so that neither the whole text nor a converter
// call per line is needed.
Platform::TContentProducer LogPieces(const TStringList& log) {
  return [&log, next = std::size_t{0}, utf8 = std::string()](std::string& piece) mutable {
    if (next == log.size()) return false;
    utf8.clear();
    for (; next < log.size() && utf8.size() < (1u << 20); ++next) utf8.append(log[next]).append("\r\n");
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

void SaveLogFile(const TStringList& log, const std::string& fileName) {
  const Platform::TWriteResult result = Platform::ReplaceFileContent(fileName, LogPieces(log));
  if (result.Failed == Platform::TWriteStage::Create) throw ELogFileError(fileName, result.Error);
  if (result.Failed == Platform::TWriteStage::Write) throw EStreamWriteError(result.Error);
}

void CheckLogFileCreatable(const std::string& fileName) {
  std::ofstream out(fileName, std::ios::binary | std::ios::app);
  out.close();
  if (!out) throw ELogFileError(fileName);
}
