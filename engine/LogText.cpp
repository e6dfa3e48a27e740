#include "LogText.h"

#include "Locale.h"
#include "TextEncoding.h"
#include "VersionInfo.h"

namespace LogText {

using namespace Platform;

namespace {

// Names and paths are whatever bytes the system gives; a line feed or an
// escape sequence in one must not split a line or reach a terminal.
std::string Shown(std::string_view nameOrPath) { return EscapeControlCharacters(nameOrPath); }

}  // namespace

std::string AttributeLetters(TAttributes attributes) {
  std::string letters;
  if (attributes & faArchive) letters += 'A';
  if (attributes & faReadOnly) letters += 'R';
  if (attributes & faHidden) letters += 'H';
  if (attributes & faSysFile) letters += 'S';
  return letters;
}

std::string FileLine(std::string_view fileName) {
  return "   文件'" + Shown(fileName) + "':";
}

std::string LengthLine(std::int64_t size, TAttributes attributes) {
  std::string line = "     长度: " + FormatCount(size) + " 字节";
  if (attributes != 0) line += " 属性: '" + AttributeLetters(attributes) + "'";
  return line;
}

std::string ReadErrorMessage(std::int64_t position) {
  return std::string(ReadErrorStart) + FormatCount(position) + "字节处.";
}

std::string FailureMessage(const TFileRecord& record) {
  if (record.Outcome == TFileOutcome::OpenFailure) return std::string(CannotOpen);
  if (record.Outcome == TFileOutcome::SearchFailure) return std::string(CannotSearch);
  if (record.Outcome == TFileOutcome::NotFromMedium) return std::string(NotFromMedium);
  if (record.Content) return record.Content->Message;
  return ReadErrorMessage(record.ErrorPosition);
}

std::string ShortFileText(std::int64_t endedAt) {
  return "文件在" + FormatCount(endedAt) + "字节处结束,短于其长度";
}

std::string LogFailureLine(std::string_view message) { return "     " + std::string(message); }

std::string LogErrorCodeLine(int code) { return "     文件错误代码e=" + std::to_string(code); }

std::string LogSystemTextLine(std::string_view text) {
  return "     系统错误信息=" + std::string(text);
}

std::string ErrorListEntry(std::string_view message, std::string_view path) {
  return std::string(message) + ": " + Shown(path);
}

std::string ErrorListCodeLine(int code) { return "    文件错误代码=" + std::to_string(code); }

std::string ErrorListSystemTextLine(std::string_view text) {
  return "    系统错误信息=" + std::string(text);
}

bool IsFailureLine(std::string_view line) {
  constexpr std::string_view indent = "     ";
  if (line.starts_with(indent)) line.remove_prefix(indent.size());
  return line.starts_with(ReadErrorStart) || line.starts_with(CannotOpen) ||
         line.starts_with(ContentMismatch) || line == CannotSearchLine ||
         line.starts_with(CannotSearch);
}

std::string TitleLine(std::string_view fullVersion) {
  return "Korvane" + std::string(fullVersion) + "版 " + std::string(CopyrightNotice);
}

std::string ItemStartLine(std::string_view item) {
  return "开始校验'" + Shown(item) + "'...";
}

std::string ScanLine(std::string_view path, std::string_view attributeLetters) {
  return "* 扫描'" + Shown(path) + "',属性:'" + std::string(attributeLetters) + "':";
}

std::string BufferFailure(std::size_t size) {
  return "不能分配" + FormatCount(static_cast<std::int64_t>(size)) + "字节的读缓冲区.";
}

std::vector<std::string> CountLines(const TRunTotals& s) {
  const std::int64_t verified = s.FilesOk + s.FilesError + s.FilesSkipped;
  return {
      "总计校验文件数: " + FormatCount(verified),
      "总计正确文件数: " + FormatCount(s.FilesOk),
      "总计错误文件数: " + FormatCount(s.FilesError),
      "总计忽略文件数: " + FormatCount(s.FilesSkipped),
      "总计忽略目录数: " + FormatCount(s.DirsSkipped),
      "总计字节数: " + FormatCount(s.TotalBytes) + " 字节",
  };
}

std::string TimeLine(std::string_view elapsed) { return "总计时间: " + std::string(elapsed); }

}  // namespace LogText
