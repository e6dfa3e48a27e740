#pragma once
// Where KORVANE.INI lives. A program run from the folder it was installed
// into (/usr/bin and the like) cannot write there, so it keeps the file in
// the user's configuration home; run from anywhere else (the build tree, a
// copied folder) it keeps the file beside itself, so such a copy carries its
// own settings. GetIniFileName (VerifySetupInfo.h) applies this rule to the
// running program.
#include <string>
#include <string_view>

#include "VerifyStatus.h"

inline constexpr std::string_view IniFileBaseName = "KORVANE.INI";
inline constexpr std::string_view SettingsSubdirectory = "korvane";

// programDirectory: the running program's folder, without a trailing '/'
// (empty for the root). installDirectories: the folders it counts as
// installed in. configHome: the user's configuration home, empty when
// unknown; the program then stays with its own folder.
std::string SettingsFilePath(std::string_view programDirectory,
                             const TStringList& installDirectories, std::string_view configHome);

// The configured install folders with their symbolic links resolved, as the
// running program's own folder is.
TStringList InstalledProgramDirectories();
