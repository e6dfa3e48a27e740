#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "SpilledLines.h"

using Lines = std::vector<std::string>;

TEST(SpilledLines, GivesBackEveryLineInOrderOnDiskOrInMemory) {
  // Counts that end inside the first block, across the 64 KiB blocks, and
  // across the 1 MiB pieces read back; with a temporary directory that
  // does not exist the lines stay in memory.
  for (const char* tmpdir : {"", "/nonexistent-korvane-dir"}) {
    if (*tmpdir != '\0') setenv("TMPDIR", tmpdir, 1);
    for (const int count : {0, 1, 3000, 40000}) {
      Lines lines;
      TSpilledLines spilled;
      for (int i = 0; i < count; ++i) {
        lines.push_back("不能打开文件.: /d/" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 50), 'x'));
        spilled.Append(lines.back());
      }
      EXPECT_EQ(spilled.Empty(), count == 0);
      Lines back;
      spilled.ForEach([&](std::string_view line) { back.emplace_back(line); });
      EXPECT_EQ(back, lines) << tmpdir << " " << count;
    }
    unsetenv("TMPDIR");
  }
}
