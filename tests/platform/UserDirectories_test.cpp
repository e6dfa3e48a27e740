#include "UserDirectories.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "TempDir.h"
#include "TestUtil.h"

using namespace Platform;

TEST(UserDirectories, ConfigHomeFollowsXdgThenHome) {
  const struct {
    std::optional<std::string> Xdg;  // nullopt: unset
    const char* Home;
    const char* Expected;
  } cases[] = {
      {"/xdg/config", "/home/me", "/xdg/config"},
      {std::nullopt, "/home/me", "/home/me/.config"},
      {"", "/home/me/", "/home/me/.config"},
      // A relative value would depend on the working folder: ignored.
      {"rel/config", "/home/me", "/home/me/.config"},
      {"~/.config", "/home/me", "/home/me/.config"},
      {"/xdg", "", "/xdg"},
  };
  for (const auto& c : cases) {
    // The environment is process-wide, so each case reads it in a child.
    const int failed = TestUtil::RunInChild([&c] {
      if (c.Xdg) setenv("XDG_CONFIG_HOME", c.Xdg->c_str(), 1);
      else unsetenv("XDG_CONFIG_HOME");
      setenv("HOME", c.Home, 1);
      return UserConfigHome() == c.Expected ? 0 : 1;
    });
    EXPECT_EQ(failed, 0) << c.Xdg.value_or("(unset)") << " " << c.Home;
  }
  EXPECT_EQ(ConfigHomeFrom(nullptr, ""), "");
  EXPECT_EQ(ConfigHomeFrom("relative", "relative/home"), "");
}

TEST(UserDirectories, CreateDirectoryPathMakesPrivateFolders) {
  TTempDir dir;
  dir.WriteFile("file", "x");
  ASSERT_TRUE(CreateDirectoryPath(dir / "a/b/c"));
  struct stat info {};
  ASSERT_EQ(stat((dir / "a/b").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(CreateDirectoryPath(dir / "a/b/c")) << "an existing folder is fine";
  EXPECT_TRUE(CreateDirectoryPath(dir / "a/d/"));
  EXPECT_FALSE(CreateDirectoryPath(dir / "file/sub"));
  EXPECT_FALSE(CreateDirectoryPath(dir / "file"));
  EXPECT_FALSE(CreateDirectoryPath(""));
}
