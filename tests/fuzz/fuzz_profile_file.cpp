// The settings-file reader and writer, on the content as the file holds it:
// read a key, set it, read again. The input is "section NUL key NUL value
// NUL content". Whatever the content, a write changes one line or adds one
// or two, every other line survives byte for byte, and the key reads back.
#include <optional>

#include "FuzzSupport.h"
#include "ProfileFile.h"

namespace {

// The file's lines, cut at LF only: a CR stays part of its line, so that
// a changed ending shows as a changed line. (An LF may be added after a
// last line that had none.)
std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < content.size();) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Is after the file before with one line changed (an existing key), or with
// one or two lines added (a new key, perhaps in a new section)?
bool OneChange(const std::string& before, const std::string& after, bool missing) {
  const std::vector<std::string> old = Lines(before), now = Lines(after);
  std::size_t prefix = 0, suffix = 0;
  while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) ++prefix;
  while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
         old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
    ++suffix;
  const std::size_t removed = old.size() - prefix - suffix, added = now.size() - prefix - suffix;
  if (missing) return removed == 0 && (added == 1 || added == 2);
  return removed <= 1 && added == removed;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> pieces = SplitAtNul(AsText(data, size));
  if (pieces.size() < 4) return 0;
  const std::string &section = pieces[0], &key = pieces[1], &value = pieces[2];
  std::string content;
  for (std::size_t i = 3; i < pieces.size(); ++i) content += (i > 3 ? "\n" : "") + pieces[i];

  const std::optional<std::string> before = Platform::ProfileValue(content, section, key);
  const std::optional<std::string> written = Platform::ProfileWithKey(content, section, key, value);
  if (!written) return 0;  // names that could not be found again are refused
  const bool missing = !before.has_value();
  // A last line without an ending gets one (the file's own) when a line
  // follows it.
  bool oneChange = OneChange(content, *written, missing);
  if (!content.empty() && !content.ends_with('\n')) {
    oneChange = oneChange || OneChange(content + "\n", *written, missing) ||
                OneChange(content + "\r\n", *written, missing);
  }
  FUZZ_CHECK(oneChange);
  if (Trim(value).size() <= 2047)
    FUZZ_CHECK(Platform::ProfileValue(*written, section, key) == Trim(value));
  return 0;
}
