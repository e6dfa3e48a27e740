#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "LogFile.h"
#include "LogText.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TextEncoding.h"

using namespace Platform;

namespace {

const std::string Fffd = "\xEF\xBF\xBD";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(TextEncoding, InvalidUtf8BytesBecomeReplacementCharacters) {
  const struct {
    std::string Text, Expected;
  } cases[] = {
      {"plain ascii", "plain ascii"},
      {"文件😀", "文件😀"},
      {"a\xFF" "b", "a" + Fffd + "b"},
      {"\x80\x80", Fffd + Fffd},                        // stray continuation bytes
      {"x\xE6\x96", "x" + Fffd + Fffd},                 // a sequence cut at the end
      {"\xE6\x96" "A", Fffd + Fffd + "A"},              // cut before an ASCII byte
      {"\xC0\xAF", Fffd + Fffd},                        // overlong '/'
      {"\xE0\x80\xAF", Fffd + Fffd + Fffd},             // overlong, three bytes
      {"\xED\xA0\x80", Fffd + Fffd + Fffd},             // a surrogate
      {"\xF4\x90\x80\x80", Fffd + Fffd + Fffd + Fffd},  // above U+10FFFF
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},         // U+10FFFF itself
      {"\xB0\xA1", Fffd + Fffd},                        // GBK "啊", not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceInvalidUtf8(c.Text), c.Expected) << c.Text;
}

TEST(TextEncoding, Gb18030IsGbkWherePossibleAndHoldsEverythingElse) {
  // "文件" is GBK's CE C4 BC FE; the emoji needs a four-byte GB18030 code.
  EXPECT_EQ(Utf8ToGb18030("文件 ok"), "\xCE\xC4\xBC\xFE ok");
  EXPECT_EQ(Utf8ToGb18030("😀"), "\x94\x39\xFC\x36");
  // A stray byte must not pair with the one after it and eat the "A".
  EXPECT_EQ(Utf8ToGb18030("\xB0" "A文"), "\x84\x31\xA4\x37" "A\xCE\xC4");
  const std::string mixed = "名字 😀 \xFF end";
  EXPECT_EQ(Gb18030ToUtf8(Utf8ToGb18030(mixed)), ReplaceInvalidUtf8(mixed));
  EXPECT_EQ(Gb18030ToUtf8("\x81"), std::nullopt);  // a lead byte without its trail
  // Codes glibc's converter does not give: private-use characters, and the
  // ideographs glibc reads their two-byte codes as.
  EXPECT_EQ(Utf8ToGb18030("\uE78D\uE81E\uE816\U00020087"),
            "\x84\x31\x82\x36\x82\x35\x90\x37\xFE\x51\x95\x32\x90\x31");
}

TEST(LogFile, EveryCharacterOfANameSurvivesTheSavedLog) {
  // Every Unicode scalar value, 256 to a name; control characters are
  // written escaped, as in any log line.
  TStringList log;
  for (char32_t first = 0; first < 0x110000; first += 256) {
    std::string name;
    for (char32_t c = first; c < first + 256; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      if (c < 0x80) name += static_cast<char>(c);
      else if (c < 0x800) name += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
      else if (c < 0x10000)
        name += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
      else
        name += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                 static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    log.push_back(LogText::FileLine(name));
  }
  const auto decoded = Gb18030ToUtf8(LogFileText(log));
  ASSERT_TRUE(decoded.has_value());
  const std::string expected = [&] {
    std::string text;
    for (const std::string& line : log) text += line + "\r\n";
    return text;
  }();
  ASSERT_EQ(decoded->size(), expected.size());
  // The first difference only, not megabytes of both.
  const auto [got, want] = std::mismatch(decoded->begin(), decoded->end(), expected.begin());
  EXPECT_TRUE(got == decoded->end()) << "differs at byte " << (want - expected.begin());
}

TEST(LogFile, SavedAsGb18030WithCrLfAndNoByteOrderMark) {
  TTempDir dir;
  const TStringList log = {"Korvane3.1.1.7版", "", "   文件'😀\xFF.txt':", "总计时间: 0:00:01"};
  const std::string path = dir.PathOf("log.txt");
  dir.WriteFile("log.txt", "old content that is longer than the new log will be..........");
  SaveLogFile(log, path);
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes, "Korvane3.1.1.7\xB0\xE6\r\n"
                   "\r\n"
                   "   \xCE\xC4\xBC\xFE'\x94\x39\xFC\x36\x84\x31\xA4\x37.txt':\r\n"
                   "\xD7\xDC\xBC\xC6\xCA\xB1\xBC\xE4: 0:00:01\r\n");
  EXPECT_EQ(LogFileText({}), "");
  // A log larger than one converted piece loses no line at the seams.
  TStringList large;
  std::string joined;
  for (int i = 0; i < 60000; ++i) joined += large.emplace_back("     长度: " + std::to_string(i) + " 字节") + "\r\n";
  SaveLogFile(large, path);
  EXPECT_EQ(ReadBytes(path), Utf8ToGb18030(joined));
}

TEST(LogFile, UnwritablePlacesGiveTheErrorTheWindowsShow) {
  TTempDir dir;
  const std::string missing = dir.PathOf("no/such/dir/log.txt");
  for (const std::string& path : {missing, dir.Path()}) {
    try {
      SaveLogFile({"x"}, path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const ELogFileError& error) {
      EXPECT_EQ(std::string(error.what()), "Cannot create file " + path);
    }
    EXPECT_THROW(CheckLogFileCreatable(path), ELogFileError) << path;
  }
  // The check creates a missing file but leaves an existing one as it was.
  dir.WriteFile("keep.txt", "kept");
  CheckLogFileCreatable(dir.PathOf("keep.txt"));
  CheckLogFileCreatable(dir.PathOf("new.txt"));
  EXPECT_EQ(ReadBytes(dir.PathOf("keep.txt")), "kept");
  EXPECT_EQ(ReadBytes(dir.PathOf("new.txt")), "");
}

namespace {

// The error a save raises, or "" when it succeeds.
std::string SaveError(const TStringList& log, const std::string& path) {
  try {
    SaveLogFile(log, path);
    return "";
  } catch (const ELogFileError& error) {
    return error.what();
  }
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(LogFile, AFailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  const std::string old = "yesterday's log\r\n";
  const TStringList log(2000, "   文件'/data/some/file.bin':");
  // A disk that fills up after 1000 bytes, and one whose writes fail at byte 5000.
  TTestFs fs({{.Path = "full/old.log", .Content = old}, {.Path = "bad/old.log", .Content = old}},
             {}, {.WritableDirs = {{.Path = "full", .Free = 1000}, {.Path = "bad", .WriteErrorAt = 5000}}});
  KORVANE_REQUIRE_FUSE(fs);
  for (const char* dir : {"full", "bad"}) {
    const std::string path = fs.PathOf(std::string(dir) + "/old.log");
    EXPECT_EQ(SaveError(log, path), "Stream write error") << dir;
    EXPECT_EQ(ReadBytes(path), old) << dir;
    EXPECT_EQ(Names(fs.PathOf(dir)), std::set<std::string>{"old.log"}) << dir;
  }
  // Where it fits, the same save replaces the file.
  EXPECT_EQ(SaveError({"short"}, fs.PathOf("full/old.log")), "");
  EXPECT_EQ(ReadBytes(fs.PathOf("full/old.log")), "short\r\n");
}

TEST(LogFile, SavingReplacesFilesButWritesDevicesAndFollowsLinks) {
  TTempDir dir;
  dir.WriteFile("target.log", "old");
  ASSERT_EQ(chmod(dir.PathOf("target.log").c_str(), 0640), 0);
  ASSERT_EQ(symlink("target.log", dir.PathOf("link.log").c_str()), 0);
  EXPECT_EQ(SaveError({"new"}, dir.PathOf("link.log")), "");
  EXPECT_EQ(ReadBytes(dir.PathOf("target.log")), "new\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.PathOf("link.log")));
  struct stat info {};
  ASSERT_EQ(stat(dir.PathOf("target.log").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  // A device is written, never replaced by a file.
  EXPECT_EQ(SaveError({"x"}, "/dev/null"), "");
  EXPECT_EQ(SaveError({"x"}, "/dev/full"), "Stream write error");
  EXPECT_EQ(SaveError({}, "/dev/full"), "");  // an empty log writes nothing
  for (const char* device : {"/dev/null", "/dev/full"}) {
    ASSERT_EQ(stat(device, &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << device;
  }
  EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"link.log", "target.log"}));
}
