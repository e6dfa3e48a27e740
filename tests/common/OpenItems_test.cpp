#include "OpenItems.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

using Lines = std::vector<std::string>;

TEST(OpenItems, SplitAtTheFirstOpenOption) {
  const struct {
    Lines Arguments, Parameters, Paths;
  } cases[] = {
      {{"-S", "a"}, {"-S", "a"}, {}},
      {{"-S", "--open", "-P1", "--open", "--"}, {"-S"}, {"-P1", "--open", "--"}},
      {{"--open=/x y", "z"}, {}, {"/x y", "z"}},
      {{"--open"}, {}, {}},
      {{"--opener", "--open-x"}, {"--opener", "--open-x"}, {}},
  };
  for (const auto& c : cases) {
    const TOpenArguments got = SplitOpenArguments(c.Arguments);
    EXPECT_EQ(got.Parameters, c.Parameters) << c.Arguments.front();
    EXPECT_EQ(got.Paths, c.Paths) << c.Arguments.front();
  }
}

TEST(OpenItems, DirectoriesStandForTheirFilesFilesForThemselves) {
  TTempDir dir;
  dir.WriteFile("名 with spaces/a.txt", "a");
  dir.WriteFile("-dash", "d");
  std::filesystem::create_directory_symlink(dir / "名 with spaces", dir / "link");
  const struct {
    std::string Path, Item;
  } cases[] = {
      {dir / "名 with spaces", dir / "名 with spaces/*.*"},
      {dir / "名 with spaces/", dir / "名 with spaces/*.*"},
      {dir / "link", dir / "link/*.*"},
      {dir / "名 with spaces/a.txt", dir / "名 with spaces/a.txt"},
      {dir / "-dash", dir / "-dash"},
      {dir / "missing", dir / "missing"},
      {"/", "/*.*"},
  };
  Lines paths, expected;
  for (const auto& c : cases) {
    paths.push_back(c.Path);
    expected.push_back(c.Item);
  }
  paths.insert(paths.begin() + 1, "");
  Lines list = {"kept"};
  AddOpenedItems(paths, list);
  expected.insert(expected.begin(), "kept");
  EXPECT_EQ(list, expected);
}
