#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogStore.h"

using Lines = std::vector<std::string>;

namespace {

// Lines around the store's seams: empty lines, lines that fill a block to
// its last byte, a line larger than any block, more lines than one index step.
Lines SeamLines() {
  Lines lines;
  for (int i = 0; i < 100; ++i)
    lines.push_back(std::string(static_cast<std::size_t>(i % 7), static_cast<char>('a' + i % 26)));
  lines.push_back(std::string((1u << 20) - 1, 'x'));  // with its separator: a whole block
  lines.push_back("");
  lines.push_back(std::string(3u << 20, 'y'));  // a block of its own
  lines.push_back("after the large line");
  for (int i = 0; i < 70; ++i) lines.push_back("   文件'" + std::to_string(i) + "':");
  return lines;
}

}  // namespace

TEST(LogStore, KeepsEveryLineAcrossBlocksAndIndexSteps) {
  const Lines lines = SeamLines();
  TLogStore store;
  for (const std::string& line : lines) store.push_back(line);
  ASSERT_EQ(store.size(), lines.size());
  EXPECT_TRUE(store == lines);
  EXPECT_EQ(Lines(store), lines);
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(std::string(store[i]), lines[i]) << i;
  for (std::size_t i : {std::size_t{0}, std::size_t{33}, lines.size() - 1})
    EXPECT_EQ(Lines(store.begin() + static_cast<std::ptrdiff_t>(i), store.end()),
              Lines(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.end()));
  EXPECT_EQ(std::string(store.back()), lines.back());

  store = Lines{"a", "b"};
  EXPECT_TRUE(store == (Lines{"a", "b"}));
  store.clear();
  EXPECT_TRUE(store.empty());
  EXPECT_EQ(store.begin(), store.end());
}

TEST(LogStore, CostsLittleMoreThanItsText) {
  TLogStore store;
  std::size_t text = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string line = "     长度: " + std::to_string(i) + " 字节";
    text += line.size();
    store.push_back(line);
  }
  // One separator per line, an index entry per 32 lines, one open block.
  EXPECT_LE(store.BytesUsed(), text + 2 * store.size() + (1u << 20));
}
