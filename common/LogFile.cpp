#include "LogFile.h"

#include <fstream>

#include "SafeFile.h"
#include "TextEncoding.h"

ELogFileError::ELogFileError(const std::string& fileName)
    : std::runtime_error("Cannot create file " + fileName) {}

namespace {

// The saved bytes a piece at a time: lines joined up to about a megabyte
// and converted together, so that neither the whole text nor a converter
// call per line is needed.
template <class TLines>
Platform::TContentProducer LogPieces(const TLines& log) {
  return [&log, next = log.begin(), utf8 = std::string()](std::string& piece) mutable {
    if (next == log.end()) return false;
    utf8.clear();
    for (; next != log.end() && utf8.size() < (1u << 20); ++next) utf8.append(*next).append("\r\n");
    piece = Platform::Utf8ToGb18030(utf8);
    return true;
  };
}

template <class TLines>
std::string TextOf(const TLines& log) {
  std::string text;
  const Platform::TContentProducer produce = LogPieces(log);
  for (std::string piece; produce(piece);) text += piece;
  return text;
}

template <class TLines>
void Save(const TLines& log, const std::string& fileName) {
  const Platform::TWriteResult result = Platform::ReplaceFileContent(fileName, LogPieces(log));
  if (result.Failed == Platform::TWriteStage::Create) throw ELogFileError(fileName);
  if (result.Failed == Platform::TWriteStage::Write) throw EStreamWriteError();
}

}  // namespace

std::string LogFileText(const TStringList& log) { return TextOf(log); }

void SaveLogFile(const TStringList& log, const std::string& fileName) { Save(log, fileName); }
void SaveLogFile(const TLogStore& log, const std::string& fileName) { Save(log, fileName); }

void CheckLogFileCreatable(const std::string& fileName) {
  std::ofstream out(fileName, std::ios::binary | std::ios::app);
  out.close();
  if (!out) throw ELogFileError(fileName);
}
