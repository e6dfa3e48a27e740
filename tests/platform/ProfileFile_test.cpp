#include "ProfileFile.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <tuple>
#include <vector>

#include "TempDir.h"
#include "TestUtil.h"

using namespace Platform;
using TestUtil::ReadFile;
using TestUtil::WriteFile;

namespace {

// A file as a user may have edited it.
const char* const Sample =
    "stray=before any section\n"
    "; note=not a key\n"
    "[Korvane 3.1]\n"
    "AllSubdirectories=1\n"
    "  ReadUnit \t=\t 4096  \n"
    "Unknown=keep me\n"
    "Formula=a=b=c\n"
    "Empty=\n"
    "readunit=second occurrence\n"
    "\n"
    "[Other]\n"
    "x=1\n";

std::size_t FileCount(const std::string& dir) {
  const std::filesystem::directory_iterator entries(dir);
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

}  // namespace

TEST(PlatformProfile, ReadsValuesByTheProfileRules) {
  TTempDir dir;
  WriteFile(dir / "KORVANE.INI", Sample);
  const TProfileFile profile(dir / "KORVANE.INI");
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Korvane 3.1", "AllSubdirectories", "1"}, {"KORVANE 3.1", "allsubdirectories", "1"},
      {"Korvane 3.1", "ReadUnit", "4096"},  // trimmed; the first occurrence counts
      {"Korvane 3.1", "Formula", "a=b=c"},    {"Korvane 3.1", "Empty", ""},
      {"Korvane 3.1", "Missing", "def"},      {"other", "X", "1"},
      {"Other", "Unknown", "def"},            {"Nowhere", "x", "def"},
      {"", "stray", "def"},                   {"Korvane 3.1", "; note", "def"},
  };
  for (const auto& [section, key, expected] : cases) {
    EXPECT_EQ(profile.ReadString(section, key, "def"), expected) << section << "/" << key;
  }
  EXPECT_EQ(TProfileFile(dir / "absent.ini").ReadString("Korvane 3.1", "ReadUnit", "1024"), "1024");
}

TEST(PlatformProfile, RewritesInPlaceAndAppendsWhatIsMissing) {
  TTempDir dir;
  const std::string path = dir / "KORVANE.INI";
  WriteFile(path, Sample);
  TProfileFile profile(path);
  ASSERT_TRUE(profile.WriteString("korvane 3.1", "READUNIT", "512"));
  ASSERT_TRUE(profile.WriteString("Korvane 3.1", "PositionError", "0"));
  ASSERT_TRUE(profile.WriteString("Other", "y", "2"));
  ASSERT_TRUE(profile.WriteString("Korvane Version Information", "Version", "3.1"));
  EXPECT_EQ(ReadFile(path),
            "stray=before any section\n; note=not a key\n[Korvane 3.1]\nAllSubdirectories=1\n"
            "  ReadUnit \t=512\nUnknown=keep me\nFormula=a=b=c\nEmpty=\n"
            "readunit=second occurrence\nPositionError=0\n\n[Other]\nx=1\ny=2\n"
            "[Korvane Version Information]\nVersion=3.1\n");
  EXPECT_EQ(FileCount(dir.Path()), 1u) << "temporary file left behind";
}

TEST(PlatformProfile, KeepsTheFilesLineEndings) {
  TTempDir dir;
  WriteFile(dir / "crlf.ini", "; from Windows\r\n[A]\r\nk=1\r\n\r\n[B]\r\nlast=x");
  TProfileFile crlf(dir / "crlf.ini");
  ASSERT_TRUE(crlf.WriteString("A", "k", "2"));
  ASSERT_TRUE(crlf.WriteString("A", "n", "3"));
  ASSERT_TRUE(crlf.WriteString("C", "c", "4"));
  EXPECT_EQ(ReadFile(dir / "crlf.ini"),
            "; from Windows\r\n[A]\r\nk=2\r\nn=3\r\n\r\n[B]\r\nlast=x\r\n[C]\r\nc=4\r\n");
  ASSERT_TRUE(TProfileFile(dir / "new.ini").WriteString("S", "k", "v"));
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[S]\nk=v\n");
  WriteFile(dir / "open.ini", "[S]\nk=v");  // a last line without ending keeps none
  ASSERT_TRUE(TProfileFile(dir / "open.ini").WriteString("s", "K", "w"));
  EXPECT_EQ(ReadFile(dir / "open.ini"), "[S]\nk=w");
}

TEST(PlatformProfile, FailedWritesChangeNothing) {
  TTempDir dir;
  EXPECT_FALSE(TProfileFile(dir / "missing/KORVANE.INI").WriteString("S", "k", "v"));
  ASSERT_EQ(mkdir((dir / "taken").c_str(), 0755), 0);
  EXPECT_FALSE(TProfileFile(dir / "taken").WriteString("S", "k", "v"));
  // An existing file that cannot be read is not replaced by one holding only
  // the new key (reading /proc/self/mem at offset 0 fails, even for root).
  ASSERT_EQ(symlink("/proc/self/mem", (dir / "unreadable").c_str()), 0);
  EXPECT_FALSE(TProfileFile(dir / "unreadable").WriteString("S", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "unreadable"));
  // Text that could not be read back as written is refused.
  WriteFile(dir / "k.ini", "[S]\nk=v\n");
  TProfileFile profile(dir / "k.ini");
  EXPECT_FALSE(profile.WriteString("S", "k", "two\nlines"));
  EXPECT_FALSE(profile.WriteString("S", "a=b", "v"));
  EXPECT_FALSE(profile.WriteString("S]", "k", "v"));
  EXPECT_EQ(ReadFile(dir / "k.ini"), "[S]\nk=v\n");
  EXPECT_EQ(FileCount(dir.Path()), 3u);
}

TEST(PlatformProfile, AWriteThatFailsMidwayKeepsTheOldFile) {
  TTempDir dir;
  const std::string path = dir / "KORVANE.INI";
  WriteFile(path, "[S]\nk=old\n");
  // A file size limit (process-wide, so in a child) makes the temporary
  // file's write fail.
  const int result = TestUtil::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    return TProfileFile(path).WriteString("S", "k", std::string(100, 'n')) ? 11 : 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(path), "[S]\nk=old\n");
  EXPECT_EQ(FileCount(dir.Path()), 1u) << "temporary file left behind";
}

TEST(PlatformProfile, LongValuesAreCutTo2047Characters) {
  TTempDir dir;
  TProfileFile profile(dir / "long.ini");
  const std::tuple<std::string, std::string> cases[] = {
      {std::string(3000, 'x'), std::string(2047, 'x')},
      {std::string(2047, 'y'), std::string(2047, 'y')},
      {std::string(2046, 'a') + "中文", std::string(2046, 'a')},  // no half character
  };
  for (const auto& [written, read] : cases) {
    ASSERT_TRUE(profile.WriteString("S", "k", written));
    EXPECT_EQ(profile.ReadString("S", "k", ""), read);
  }
}

TEST(PlatformProfile, ReplacementKeepsPermissions) {
  TTempDir dir;
  WriteFile(dir / "mode.ini", "[S]\n");
  ASSERT_EQ(chmod((dir / "mode.ini").c_str(), 0640), 0);
  ASSERT_TRUE(TProfileFile(dir / "mode.ini").WriteString("S", "k", "v"));
  struct stat info {};
  ASSERT_EQ(stat((dir / "mode.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(PlatformProfile, ConcurrentWritersLoseNoKey) {
  TTempDir dir;
  const std::string path = dir / "busy.ini";
  auto section = [](int writer) { return "S" + std::to_string(writer % 2); };
  auto key = [](int writer, int k) { return "k" + std::to_string(writer * 100 + k); };
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int k = 0; k < 25; ++k) {
        EXPECT_TRUE(TProfileFile(path).WriteString(section(t), key(t, k), std::to_string(k)));
      }
    });
  }
  for (auto& writer : writers) writer.join();
  for (int t = 0; t < 4; ++t) {
    for (int k = 0; k < 25; ++k) {
      EXPECT_EQ(TProfileFile(path).ReadString(section(t), key(t, k), "?"), std::to_string(k));
    }
  }
}
