#include <gtest/gtest.h>

#include "JournalFile.h"
#include "TempDir.h"

// A writer killed in the middle of a line leaves it torn: the next writer
// cuts it off, so that its own first line does not run on from it.
TEST(PlatformJournalFile, TornLastLineIsCutBeforeAppending) {
  TTempDir dir;
  struct TCase {
    std::string Before, After;
  };
  const TCase cases[] = {{"", "new\n"},
                         {"a\nb\n", "a\nb\nnew\n"},
                         {"a\nb\ntor", "a\nb\nnew\n"},
                         {"torn", "new\n"}};
  for (const TCase& c : cases) {
    const std::string path = dir.PathOf("journal");
    dir.WriteFile("journal", c.Before);
    {
      Platform::TJournalFile journal;
      ASSERT_EQ(journal.Open(path), 0);
      EXPECT_EQ(journal.Append("new\n"), 0);
      EXPECT_EQ(journal.Sync(), 0);
    }
    int error = -1;
    EXPECT_EQ(Platform::ReadWholeFile(path, error), c.After) << c.Before;
  }
  int error = -1;
  EXPECT_FALSE(Platform::ReadWholeFile(dir.PathOf("none"), error));
  EXPECT_EQ(error, 0) << "a missing file is no failure";
}

TEST(PlatformJournalFile, OneWriterAtATime) {
  TTempDir dir;
  {
    Platform::TJournalFile first, second;
    ASSERT_EQ(first.Open(dir.PathOf("journal")), 0);
    const int code = second.Open(dir.PathOf("journal"));
    EXPECT_TRUE(Platform::TJournalFile::InUse(code)) << code;
  }
  Platform::TJournalFile later;
  EXPECT_EQ(later.Open(dir.PathOf("journal")), 0);
}
