#pragma once
// Where a user's own files go, and making room for them.
#include <string>
#include <string_view>

namespace Platform {

// The base directory for a user's configuration files: xdgConfigHome when it
// is an absolute path, otherwise home + "/.config"; empty when neither helps.
// A relative value is ignored because it would depend on the working folder.
std::string ConfigHomeFrom(const char* xdgConfigHome, std::string_view home);

// ConfigHomeFrom with $XDG_CONFIG_HOME and the user's home directory ($HOME
// when absolute, else the password database).
std::string UserConfigHome();

// The real path of an existing directory (symbolic links resolved); the
// path as given when it cannot be resolved.
std::string CanonicalDirectory(const std::string& path);

// Creates the directory and any missing parents; the ones it creates are
// private to the user, as configuration directories should be. True when the
// directory exists afterwards.
bool CreateDirectoryPath(const std::string& path);

// True when the path names a directory (symbolic links followed).
bool IsDirectory(const std::string& path);

}  // namespace Platform
