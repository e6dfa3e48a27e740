#include "ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "SafeFile.h"

namespace Platform {

namespace {

constexpr std::size_t MaxValueLength = 2047;

// One line of the file with its own ending ("\n", "\r\n", or "" for a last
// line without one), so that lines we do not touch are written back exactly.
struct TLine {
  std::string Text;
  std::string Eol;
};

struct TDocument {
  std::vector<TLine> Lines;
  std::string NewEol = "\n";  // ending for lines we add: the file's own style
};

// Where a key lives, or where it would go.
struct TLocation {
  std::optional<std::size_t> Section;  // header line of the first matching section
  std::optional<std::size_t> Key;      // first line holding the key
  std::size_t LastContent = 0;         // last non-blank line of that section
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The name of a "[section]" line; nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  return Trim(line.substr(0, line.find(']')));
}

// Splits a "key=value" line at its first '='; comment lines (';') and lines
// without '=' or without a key are no key lines.
bool SplitKey(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  key = Trim(line.substr(0, equals));
  value = Trim(line.substr(equals + 1));
  return !key.empty();
}

TDocument Parse(std::string_view content) {
  TDocument document;
  bool eolChosen = false;
  while (!content.empty()) {
    const auto newline = content.find('\n');
    TLine line;
    if (newline == std::string_view::npos) {
      line.Text = content;
      content = {};
    } else {
      const bool crlf = newline > 0 && content[newline - 1] == '\r';
      line.Text = content.substr(0, crlf ? newline - 1 : newline);
      line.Eol = crlf ? "\r\n" : "\n";
      content.remove_prefix(newline + 1);
      if (!eolChosen) document.NewEol = line.Eol;
      eolChosen = true;
    }
    document.Lines.push_back(std::move(line));
  }
  return document;
}

TLocation Locate(const TDocument& document, std::string_view section, std::string_view key) {
  TLocation where;
  bool inSection = false, inFirst = false;
  for (std::size_t i = 0; i < document.Lines.size() && !where.Key; ++i) {
    std::string_view text = document.Lines[i].Text;
    // An editor may have put a UTF-8 byte-order mark before the first line.
    if (i == 0 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (const auto name = SectionOf(text)) {
      inSection = EqualsNoCase(*name, section);
      inFirst = inSection && !where.Section;
      if (inFirst) where.Section = where.LastContent = i;
      continue;
    }
    if (!inSection) continue;
    if (inFirst && !Trim(text).empty()) where.LastContent = i;
    std::string_view lineKey, lineValue;
    if (SplitKey(text, lineKey, lineValue) && EqualsNoCase(lineKey, key)) where.Key = i;
  }
  return where;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A value longer than the limit is cut, but not inside a UTF-8 sequence: when
// the first dropped byte continues a sequence, that sequence's start goes too.
std::string CutValue(std::string_view value) {
  if (value.size() <= MaxValueLength) return std::string(value);
  std::size_t end = MaxValueLength;
  std::size_t start = end;
  while (start > MaxValueLength - 3 && IsContinuation(value[start])) --start;
  if (start < end && static_cast<unsigned char>(value[start]) >= 0xC0) end = start;
  return std::string(value.substr(0, end));
}

enum class TReadResult { Read, Missing, Failed };

// Larger than any settings file a person writes, small enough to hold.
constexpr off_t MaxFileSize = 1 << 20;

// Only a regular file of at most MaxFileSize is read: a FIFO would block,
// a link to /dev/zero never end, a huge file eat the memory. Anything else
// is Failed, so that a save refuses to replace what it could not read.
TReadResult ReadWholeFile(const std::string& fileName, std::string& content) {
  content.clear();
  int fd;
  do {
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? TReadResult::Missing : TReadResult::Failed;
  struct stat info {};
  TReadResult result = TReadResult::Failed;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxFileSize) {
    result = TReadResult::Read;
    char buffer[8192];
    for (;;) {
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) result = TReadResult::Failed;
      if (got <= 0) break;
      content.append(buffer, static_cast<std::size_t>(got));
      // A file that grows while it is read is held to the same limit.
      if (content.size() > static_cast<std::size_t>(MaxFileSize)) {
        result = TReadResult::Failed;
        break;
      }
    }
  }
  close(fd);
  if (result != TReadResult::Read) content.clear();
  return result;
}

bool ReplaceFile(const std::string& fileName, std::string_view content) {
  std::string tempName;
  const int fd = CreateTemporaryBeside(fileName, tempName);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) == 0;
  struct stat original {};
  if (ok && stat(fileName.c_str(), &original) == 0) ok = fchmod(fd, original.st_mode & 07777) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(tempName.c_str(), fileName.c_str()) == 0;
  if (!ok) {
    // The failing call's code is the reason the caller tells the user.
    const int code = errno;
    unlink(tempName.c_str());
    errno = code;
  }
  return ok;
}

std::string Serialize(const TDocument& document) {
  std::string content;
  for (const TLine& line : document.Lines) content += line.Text + line.Eol;
  return content;
}

// Inserts a new line after index (or at the end); a line that then stops
// being the last one needs an ending of its own.
void InsertLine(TDocument& document, std::size_t at, std::string text) {
  if (at > 0 && document.Lines[at - 1].Eol.empty()) document.Lines[at - 1].Eol = document.NewEol;
  document.Lines.insert(document.Lines.begin() + static_cast<std::ptrdiff_t>(at),
                        TLine{std::move(text), document.NewEol});
}

void SetKey(TDocument& document, std::string_view section, std::string_view key,
            std::string_view value) {
  const TLocation where = Locate(document, section, key);
  if (where.Key) {
    // Rewritten in place: the key as the file spells it stays, only the
    // value after the first '=' changes.
    std::string& text = document.Lines[*where.Key].Text;
    text.erase(text.find('=') + 1).append(value);
  } else if (where.Section) {
    InsertLine(document, where.LastContent + 1, std::string(key) + "=" + std::string(value));
  } else {
    InsertLine(document, document.Lines.size(), "[" + std::string(section) + "]");
    InsertLine(document, document.Lines.size(), std::string(key) + "=" + std::string(value));
  }
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

// Names that could not be found again once written are refused.
bool IsWritable(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (Trim(key).empty() || Trim(key) != key || key.front() == ';' || key.front() == '[') {
    return false;
  }
  return key.find('=') == key.npos && section.find(']') == section.npos &&
         Trim(section) == section;
}

}  // namespace

std::optional<std::string> ProfileValue(std::string_view content, std::string_view section,
                                        std::string_view key) {
  const TDocument document = Parse(content);
  const TLocation where = Locate(document, section, key);
  if (!where.Key) return std::nullopt;
  std::string_view lineKey, value;
  SplitKey(document.Lines[*where.Key].Text, lineKey, value);
  return CutValue(value);
}

std::optional<std::string> ProfileWithKey(std::string_view content, std::string_view section,
                                          std::string_view key, std::string_view value) {
  if (!IsWritable(section, key, value)) return std::nullopt;
  TDocument document = Parse(content);
  SetKey(document, section, key, value);
  return Serialize(document);
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
  std::string content;
  if (ReadWholeFile(FileName, content) != TReadResult::Read) return std::string(def);
  return ProfileValue(content, section, key).value_or(std::string(def));
}

bool TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  if (!IsWritable(section, key, value)) return false;
  // Each write is a read-modify-replace of the whole file; two writers in
  // this process must not interleave and lose each other's key.
  static std::mutex writeLock;
  const std::lock_guard<std::mutex> hold(writeLock);
  std::string content;
  // A file that exists but cannot be read is not replaced by one holding
  // only the new key.
  if (ReadWholeFile(FileName, content) == TReadResult::Failed) return false;
  const auto replaced = ProfileWithKey(content, section, key, value);
  return replaced && ReplaceFile(FileName, *replaced);
}

}  // namespace Platform
