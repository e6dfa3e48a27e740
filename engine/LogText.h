#pragma once
// The texts of the verification log. Leading spaces are part of the lines:
// they indent a directory's lines under its scan line and a file's under
// its name.
// Control characters in names and paths are written as "\xNN".
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Attributes.h"
#include "FileRecord.h"

namespace LogText {

inline constexpr std::string_view CannotOpen = "不能打开文件.";
inline constexpr std::string_view ReadErrorStart = "不能读文件,错误位置在";
inline constexpr std::string_view ContentMismatch = "文件内容与校验和不符.";
// A file read only from memory: its pages could not be dropped nor read past.
inline constexpr std::string_view NotFromMedium = "数据在内存中, 未能从介质读出.";
inline constexpr std::string_view FileCorrect = "     文件正确.";
inline constexpr std::string_view FileSkipped = "     文件被跳过.";
inline constexpr std::string_view NoMatch = "   没有匹配文件.";
inline constexpr std::string_view CannotSearch = "不能搜索目录.";
// Under a directory's scan line when it could not be searched; its code and
// text lines follow as under a failed file.
inline constexpr std::string_view CannotSearchLine = "   不能搜索目录.";
inline constexpr std::string_view DirectorySkipped = "   目录被跳过.";
inline constexpr std::string_view Stopped = "进程被用户中止.";
// The system's text for a read left after the run's time limit.
inline constexpr std::string_view ReadTimedOut = "读取超时";
inline constexpr std::string_view Rule = "********************";
inline constexpr std::string_view LogHeading = "校验记录:";
inline constexpr std::string_view ErrorListHeading = "错误列表:";
inline constexpr std::string_view SubtotalHeading = "小计:";

// Letters of the set bits in the order A, R, H, S; other bits have none.
std::string AttributeLetters(Platform::TAttributes attributes);

std::string FileLine(std::string_view fileName);
std::string LengthLine(std::int64_t size, Platform::TAttributes attributes);
std::string ReadErrorMessage(std::int64_t position);
// The failure line's text for a failed file's record.
std::string FailureMessage(const TFileRecord& record);

// The system-text line of a file whose data ended before its listed size:
// no call failed, so there is no system text to show.
std::string ShortFileText(std::int64_t endedAt);

// A failed file's lines: under the file in the log, and in the error list.
std::string LogFailureLine(std::string_view message);
std::string LogErrorCodeLine(int code);
std::string LogSystemTextLine(std::string_view text);
std::string ErrorListEntry(std::string_view message, std::string_view path);
std::string ErrorListCodeLine(int code);
std::string ErrorListSystemTextLine(std::string_view text);

// A line that says a file failed: the failure line under the file, or the
// file's entry in the error list.
bool IsFailureLine(std::string_view line);

// The run's own lines.
std::string TitleLine(std::string_view fullVersion);
std::string ItemStartLine(std::string_view item);
std::string ScanLine(std::string_view path, std::string_view attributeLetters);
std::string BufferFailure(std::size_t size);
// The six totals under the subtotal heading.
std::vector<std::string> CountLines(const TRunTotals& totals);
std::string TimeLine(std::string_view elapsed);

}  // namespace LogText
