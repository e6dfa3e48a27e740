#include "VersionInfo.h"

#include <gtest/gtest.h>

TEST(VersionInfo, ProgramVersionComesFromTheBuild) {
  EXPECT_EQ(GetShortVersion(), "3.1");
  EXPECT_EQ(GetFullVersion(), "3.1.1.7");
}

TEST(VersionInfo, SourcesWithAndWithoutVersion) {
  const auto big = ReadVersionInfo("10.20.300.4000");
  EXPECT_EQ(GetShortVersion(big), "10.20");
  EXPECT_EQ(GetFullVersion(big), "10.20.300.4000");
  for (const char* bad : {"", "3.1.1", "3.1.1.7.2", "3.x.1.7", "3.1.1.65536", "3..1.7", "-3.1.1.7"}) {
    const auto info = ReadVersionInfo(bad);
    EXPECT_FALSE(info.Valid) << bad;
    EXPECT_EQ(GetShortVersion(info), "Error") << bad;
    EXPECT_EQ(GetFullVersion(info), "Error") << bad;
    EXPECT_EQ(info.Major + info.Minor + info.Release + info.Build, 0u) << bad;
  }
}
