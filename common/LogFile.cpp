#include "LogFile.h"

#include <fstream>

#include "SafeFile.h"
#include "TextEncoding.h"

ELogFileError::ELogFileError(const std::string& fileName)
    : std::runtime_error("Cannot create file " + fileName) {}

std::string LogFileText(const TStringList& log) {
  // Joined first and converted in one go: one converter for the whole log
  // instead of one per line.
  std::string text;
  for (const std::string& line : log) {
    text += line;
    text += "\r\n";
  }
  return Platform::Utf8ToGb18030(text);
}

void SaveLogFile(const TStringList& log, const std::string& fileName) {
  const Platform::TWriteResult result = Platform::ReplaceFileContent(fileName, LogFileText(log));
  if (result.Failed == Platform::TWriteStage::Create) throw ELogFileError(fileName);
  if (result.Failed == Platform::TWriteStage::Write) throw EStreamWriteError();
}

void CheckLogFileCreatable(const std::string& fileName) {
  std::ofstream out(fileName, std::ios::binary | std::ios::app);
  out.close();
  if (!out) throw ELogFileError(fileName);
}
