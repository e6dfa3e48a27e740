#pragma once
// Splitting of item paths. Separator '/', one root '/', no drive prefixes;
// ':' is an ordinary character.
#include <string>
#include <string_view>

namespace Platform {

inline constexpr char PathDelimiter = '/';

// Text up to the last '/'; that final '/' is dropped unless it is the first
// character or follows another '/', so a root keeps it.
//   "/data/*.txt" -> "/data", "/*.*" -> "/", "a/*.txt" -> "a", "*.txt" -> ""
std::string DirectoryPart(std::string_view path);

// The directory part with a '/' appended unless it is empty or already ends in one.
//   "/data/*.txt" -> "/data/", "/*.*" -> "/", "a/*.txt" -> "a/", "*.txt" -> ""
std::string CurrentDirectoryOf(std::string_view path);

// Text after the last '/' (the whole path when there is none).
std::string NamePart(std::string_view path);

}  // namespace Platform
