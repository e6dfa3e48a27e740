#include "Path.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(PlatformPath, SplitsItemsIntoDirectoryAndName) {
  struct TCase {
    const char* Path;
    const char* Directory;
    const char* Current;
    const char* Name;
  };
  const TCase cases[] = {
      {"/data/*.txt", "/data", "/data/", "*.txt"},
      {"/*.*", "/", "/", "*.*"},
      {"/", "/", "/", ""},
      {"a/*.txt", "a", "a/", "*.txt"},
      {"*.txt", "", "", "*.txt"},
      {"", "", "", ""},
      {"/home/me/a.txt", "/home/me", "/home/me/", "a.txt"},
      {"/data/", "/data", "/data/", ""},
      // A doubled separator keeps the final one, as a root does.
      {"a//b", "a//", "a//", "b"},
      {"//x", "//", "//", "x"},
      // ':' is an ordinary character: no drive prefixes.
      {"C:*.txt", "", "", "C:*.txt"},
      {"/mnt/c:/x:y", "/mnt/c:", "/mnt/c:/", "x:y"},
      {"/目录/文件.txt", "/目录", "/目录/", "文件.txt"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(DirectoryPart(c.Path), c.Directory) << c.Path;
    EXPECT_EQ(CurrentDirectoryOf(c.Path), c.Current) << c.Path;
    EXPECT_EQ(NamePart(c.Path), c.Name) << c.Path;
  }
}
