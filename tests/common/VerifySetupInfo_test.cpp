#include "VerifySetupInfo.h"
#include "VersionInfo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"
#include "TestFs.h"
#include "TestUtil.h"

namespace {

// Loads the options from a settings file holding these option lines.
struct TLoaded {
  TTempDir Dir;
  std::unique_ptr<TVerifySetupInfo> Setup;
  explicit TLoaded(const std::string& optionLines) {
    Dir.WriteFile("KORVANE.INI", "[Korvane 3.1]\n" + optionLines);
    Setup = std::make_unique<TVerifySetupInfo>(Dir.PathOf("KORVANE.INI"));
  }
};

}  // namespace

TEST(VerifySetupInfo, DefaultsWithoutSettingsFile) {
  TTempDir dir;
  TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
  EXPECT_TRUE(setup.AllSubdirectories);
  EXPECT_TRUE(setup.AllFileAttributes);
  EXPECT_TRUE(setup.PositionError);
  EXPECT_EQ(setup.ReadUnit, 1024);
  EXPECT_TRUE(setup.VerifyList.empty());
  EXPECT_FALSE(setup.ShowHelp);
}

TEST(VerifySetupInfo, BooleanValues) {
  const struct { const char* value; bool expected; } cases[] = {
      {"0", false}, {"1", true}, {"2", true}, {"-1", true}, {"abc", true}, {"", true},
      {"0x0", false}, {"$0", false}, {" 0 ", false},
  };
  for (const auto& c : cases) {
    TLoaded loaded(std::string("Indicates error position=") + c.value + "\n");
    EXPECT_EQ(loaded.Setup->PositionError, c.expected) << '"' << c.value << '"';
  }
  TLoaded offs("search ALL subdirectories=0\nSearch all file attributes = 0\n");
  EXPECT_FALSE(offs.Setup->AllSubdirectories);
  EXPECT_FALSE(offs.Setup->AllFileAttributes);
}

TEST(VerifySetupInfo, ReadUnitValues) {
  const struct { const char* value; std::int32_t expected; } cases[] = {
      {"0x400", 1024}, {"0X800", 2048}, {"$400", 1024}, {" 2048", 2048}, {"1k", 1024},
      {"abc", 1024}, {"", 1024}, {"1", 1}, {"1048576", 1048576},
      // Units no read could use count as absent.
      {"0", 1024}, {"-1", 1024}, {"1048577", 1024}, {"99999999999", 1024}, {"0x", 1024},
  };
  for (const auto& c : cases) {
    TLoaded loaded(std::string("Bytes read per process=") + c.value + "\n");
    EXPECT_EQ(loaded.Setup->ReadUnit, c.expected) << '"' << c.value << '"';
  }
}

TEST(VerifySetupInfo, FirstSaveWritesVersionSectionThenOptions) {
  TTempDir dir;
  TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
  setup.AllFileAttributes = false;
  setup.PositionError = false;
  setup.ReadUnit = 1048576;
  setup.SaveSettings();
  EXPECT_EQ(TestUtil::ReadFile(dir.PathOf("KORVANE.INI")),
            "[Korvane Version Information]\n"
            "Version=3.1\n"
            "Release=1\n"
            "Build=5\n"
            "Release Date=1998.3.7\n"
            "Copyright=" + std::string(CopyrightNotice) + "\n"
            "[Korvane 3.1]\n"
            "Search all subdirectories=1\n"
            "Search all file attributes=0\n"
            "Indicates error position=0\n"
            "Bytes read per process=1048576\n");
}

TEST(VerifySetupInfo, SecondSaveRewritesInPlaceAndKeepsForeignKeys) {
  TTempDir dir;
  const std::string ini = dir.PathOf("KORVANE.INI");
  dir.WriteFile("KORVANE.INI",
                "; kept\n[Other]\nx=1\n[korvane 3.1]\nBytes read per process=512\nMine=yes\n"
                "Search all subdirectories=0\n");
  TVerifySetupInfo setup(ini);
  EXPECT_EQ(setup.ReadUnit, 512);
  EXPECT_FALSE(setup.AllSubdirectories);
  setup.ReadUnit = 4096;
  setup.SaveSettings();
  const std::string once = TestUtil::ReadFile(ini);
  setup.SaveSettings();
  EXPECT_EQ(TestUtil::ReadFile(ini), once);
  EXPECT_EQ(once.find("; kept\n[Other]\nx=1\n[korvane 3.1]\nBytes read per process=4096\n"
                      "Mine=yes\nSearch all subdirectories=0\n"),
            0u)
      << once;
  TVerifySetupInfo reloaded(ini);
  EXPECT_EQ(reloaded.ReadUnit, 4096);
  EXPECT_TRUE(reloaded.AllFileAttributes);
}

TEST(VerifySetupInfo, UnwritableLocationRaisesAndKeepsOptions) {
  TTestFs fs({{.Path = "KORVANE.INI", .Content = "[Korvane 3.1]\nBytes read per process=2048\n"}});
  KORVANE_REQUIRE_FUSE(fs);
  const std::string ini = fs.PathOf("KORVANE.INI");
  TVerifySetupInfo setup(ini);
  EXPECT_EQ(setup.ReadUnit, 2048);
  setup.ReadUnit = 77;
  setup.AllSubdirectories = false;
  try {
    setup.SaveSettings();
    FAIL() << "saving to a read-only location succeeded";
  } catch (const ESettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini);
  }
  EXPECT_EQ(setup.ReadUnit, 77);
  EXPECT_FALSE(setup.AllSubdirectories);
  EXPECT_EQ(TestUtil::ReadFile(ini), "[Korvane 3.1]\nBytes read per process=2048\n");
}

TEST(VerifySetupInfo, HostileSettingsFileGivesDefaultsAndIsNeverRewritten) {
  // Each would hang, never end or fill the memory if it were simply read.
  TTempDir dir;
  const std::string big = "[Korvane 3.1]\nBytes read per process=2048\n" + std::string(2 << 20, '\n');
  ASSERT_EQ(mkfifo(dir.PathOf("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", dir.PathOf("zero").c_str()), 0);
  dir.WriteFile("big", big);
  for (const char* name : {"fifo", "zero", "big"}) {
    const std::string ini = dir.PathOf(name);
    TVerifySetupInfo setup(ini);
    EXPECT_EQ(setup.ReadUnit, 1024) << name;
    EXPECT_TRUE(setup.PositionError && setup.AllSubdirectories && setup.AllFileAttributes) << name;
    try {
      setup.SaveSettings();
      ADD_FAILURE() << name << " was rewritten";
    } catch (const ESettingsWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini);
    }
  }
  namespace fs = std::filesystem;
  EXPECT_TRUE(fs::is_fifo(dir.PathOf("fifo")));
  EXPECT_EQ(fs::read_symlink(dir.PathOf("zero")), "/dev/zero");
  EXPECT_EQ(TestUtil::ReadFile(dir.PathOf("big")), big);
}
