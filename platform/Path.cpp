#include "Path.h"

namespace Platform {

std::string DirectoryPart(std::string_view path) {
  const auto slash = path.rfind(PathDelimiter);
  if (slash == std::string_view::npos) return {};
  // A root ("/", or "//" and the like) keeps its separator so that it still
  // names the root once a name is appended.
  const bool keepSlash = slash == 0 || path[slash - 1] == PathDelimiter;
  return std::string(path.substr(0, keepSlash ? slash + 1 : slash));
}

std::string CurrentDirectoryOf(std::string_view path) {
  std::string directory = DirectoryPart(path);
  if (!directory.empty() && directory.back() != PathDelimiter) directory += PathDelimiter;
  return directory;
}

std::string NamePart(std::string_view path) {
  const auto slash = path.rfind(PathDelimiter);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace Platform
