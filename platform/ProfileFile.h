#pragma once
// Settings files of "[section]" and "key=value" lines.
// Section and key names compare without regard to case; a value is the text
// after the first '=' without surrounding blanks, at most 2,047 characters.
// Unknown keys and sections are kept; an existing key is rewritten in place,
// a missing key is appended to its section, a missing section to the file.
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// The rules on a file's content, without the file: the value of a key, or
// nullopt when it is missing.
std::optional<std::string> ProfileValue(std::string_view content, std::string_view section,
                                        std::string_view key);
// The content with the key set; nullopt for a section, key or value that
// could not be found again once written (a line break in it, for example).
std::optional<std::string> ProfileWithKey(std::string_view content, std::string_view section,
                                          std::string_view key, std::string_view value);

class TProfileFile {
 public:
  explicit TProfileFile(std::string fileName) : FileName(std::move(fileName)) {}

  // The stored value, or def when the file, section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;

  // Writes one key through to the file at once, replacing the file
  // atomically (temporary file in the same directory, then rename).
  // False when the file cannot be written, errno then saying why.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);

  const std::string& GetFileName() const { return FileName; }

 private:
  std::string FileName;
};

}  // namespace Platform
