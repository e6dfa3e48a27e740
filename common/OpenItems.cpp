#include "OpenItems.h"

#include <algorithm>

#include "Path.h"
#include "UserDirectories.h"

bool IsOpenOption(std::string_view word) {
  return word.starts_with(OpenOption) &&
         (word.size() == OpenOption.size() || word[OpenOption.size()] == '=');
}

TOpenArguments SplitOpenArguments(const TStringList& arguments) {
  const auto open = std::find_if(arguments.begin(), arguments.end(),
                                 [](const std::string& word) { return IsOpenOption(word); });
  TOpenArguments result{TStringList(arguments.begin(), open), {}};
  if (open == arguments.end()) return result;
  if (open->size() > OpenOption.size()) result.Paths.push_back(open->substr(OpenOption.size() + 1));
  result.Paths.insert(result.Paths.end(), open + 1, arguments.end());
  return result;
}

std::string OpenedItem(std::string_view path) {
  std::string item(path);
  if (!Platform::IsDirectory(item)) return item;
  // "dir/" and "/" must not end up with a doubled separator.
  if (item.back() != Platform::PathDelimiter) item += Platform::PathDelimiter;
  return item + "*.*";
}

void AddOpenedItems(const TStringList& paths, TStringList& verifyList) {
  for (const std::string& path : paths) {
    if (!path.empty()) verifyList.push_back(OpenedItem(path));
  }
}

void CheckDirectoriesWhole(TStringList& items) {
  for (std::string& item : items) {
    if (Platform::NamePart(item).find_first_of("*?") == std::string::npos) item = OpenedItem(item);
  }
}
