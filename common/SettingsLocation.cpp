#include "SettingsLocation.h"

#include <algorithm>

#include "InstallDirs.h"
#include "Process.h"
#include "UserDirectories.h"
#include "VerifySetupInfo.h"

std::string SettingsFilePath(std::string_view programDirectory,
                             const TStringList& installDirectories, std::string_view configHome) {
  const bool installed = std::find(installDirectories.begin(), installDirectories.end(),
                                   programDirectory) != installDirectories.end();
  std::string directory(programDirectory);
  if (installed && !configHome.empty())
    directory = std::string(configHome) + "/" + std::string(SettingsSubdirectory);
  return directory + "/" + std::string(IniFileBaseName);
}

TStringList InstalledProgramDirectories() {
  return {Platform::CanonicalDirectory(KORVANE_INSTALL_BINDIR),
          Platform::CanonicalDirectory(KORVANE_PACKAGE_BINDIR)};
}

std::string GetIniFileName() {
  return SettingsFilePath(Platform::ExecutableDirectory(), InstalledProgramDirectories(),
                          Platform::UserConfigHome());
}
