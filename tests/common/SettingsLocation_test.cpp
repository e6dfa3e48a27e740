#include "SettingsLocation.h"

#include <gtest/gtest.h>

#include "Process.h"
#include "TempDir.h"
#include "TestUtil.h"
#include "UserDirectories.h"
#include "VerifySetupInfo.h"

TEST(SettingsLocation, InstalledProgramsKeepSettingsPerUserOthersBesideThemselves) {
  const TStringList installed = {"/usr/local/bin", "/usr/bin"};
  const struct {
    const char* ProgramDirectory;
    const char* ConfigHome;
    const char* Expected;
  } cases[] = {
      {"/usr/bin", "/home/me/.config", "/home/me/.config/korvane/KORVANE.INI"},
      {"/usr/local/bin", "/xdg", "/xdg/korvane/KORVANE.INI"},
      {"/home/me/korvane/build/bin", "/xdg", "/home/me/korvane/build/bin/KORVANE.INI"},
      {"/usr/bin/old", "/xdg", "/usr/bin/old/KORVANE.INI"},
      {"/usr", "/xdg", "/usr/KORVANE.INI"},
      // Without a home the program's folder is all that is left.
      {"/usr/bin", "", "/usr/bin/KORVANE.INI"},
      {"", "/xdg", "/KORVANE.INI"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SettingsFilePath(c.ProgramDirectory, installed, c.ConfigHome), c.Expected)
        << c.ProgramDirectory << " " << c.ConfigHome;
  }
}

TEST(SettingsLocation, ProgramInTheBuildTreeUsesItsOwnFolder) {
  EXPECT_EQ(GetIniFileName(), Platform::ExecutableDirectory() + "/KORVANE.INI");
}

TEST(SettingsLocation, FirstSaveCreatesThePerUserFolder) {
  TTempDir home;
  const std::string ini = SettingsFilePath("/usr/bin", {"/usr/bin"}, home / ".config");
  {
    TVerifySetupInfo setup(ini);
    setup.ReadUnit = 4096;
    setup.SaveSettings();
  }
  EXPECT_TRUE(Platform::IsDirectory(home / ".config/korvane"));
  EXPECT_EQ(TVerifySetupInfo(ini).ReadUnit, 4096);
  // A file where the folder belongs: the usual write error, naming the file.
  TTempDir blocked;
  blocked.WriteFile("korvane", "not a folder");
  const std::string blockedIni = SettingsFilePath("/usr/bin", {"/usr/bin"}, blocked.Path());
  EXPECT_THROW(TVerifySetupInfo(blockedIni).SaveSettings(), ESettingsWriteError);
}
