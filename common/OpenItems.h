#pragma once
// "--open PATH...": the way a file manager hands over what the user chose.
// Both programs read it before the switch parser, which never sees it.
#include <string>
#include <string_view>

#include "VerifyStatus.h"

inline constexpr std::string_view OpenOption = "--open";

// "--open" itself, or "--open=PATH" (PATH then being the first path).
bool IsOpenOption(std::string_view word);

// The program's arguments (without its name) cut at the first "--open": the
// words before it go to the switch parser; every word after it is a path,
// even one that begins with '-', as a file manager's list may hold any name.
struct TOpenArguments {
  TStringList Parameters;
  TStringList Paths;
};
TOpenArguments SplitOpenArguments(const TStringList& arguments);

// The item a file manager means by path: a directory stands for everything
// in it (directory + "/*.*"); anything else, a file or a name that does not
// exist, stays as it is, and the run reports what it finds there.
std::string OpenedItem(std::string_view path);

// An item without wildcards that names an existing directory is checked as
// directory + "/*.*", as "--open" does, in both programs: naming a directory asks for its
// files, not for a file of that name in it.
void CheckDirectoriesWhole(TStringList& items);

// Appends the item of each path, in order; empty paths are skipped.
void AddOpenedItems(const TStringList& paths, TStringList& verifyList);
