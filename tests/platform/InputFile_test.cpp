// Lines read back as written, wherever the reader's pieces end, with the
// offsets that find them again; a line over the limit is passed over whole.
#include <gtest/gtest.h>

#include "InputFile.h"
#include "TempDir.h"

namespace {

struct TRead {
  std::string Text;
  bool Ended = false;
  bool TooLong = false;
};

std::vector<TRead> ReadAll(const std::string& path, const std::string& content) {
  Platform::TInputFile file;
  EXPECT_EQ(file.Open(path), 0);
  std::vector<TRead> lines;
  for (Platform::TInputLine line; file.Next(line);) {
    std::string again;
    EXPECT_EQ(file.ReadAt(line.Offset, line.Text.size(), again), 0);
    EXPECT_EQ(again, content.substr(static_cast<std::size_t>(line.Offset), line.Text.size()));
    EXPECT_EQ(line.Number, lines.size() + 1);
    lines.push_back({std::string(line.Text), line.Ended, line.TooLong});
  }
  EXPECT_EQ(file.Error(), 0);
  return lines;
}

}  // namespace

TEST(InputFile, LinesComeBackWhereverThePiecesEnd) {
  TTempDir dir;
  constexpr std::size_t Max = Platform::TInputFile::MaxLine;
  const std::string across(100'000, 'a');  // over one piece read
  const std::string longest(Max, 'b');
  const std::string over(Max + 1, 'c');
  const struct {
    const char* What;
    std::string Content;
    std::vector<TRead> Lines;
  } cases[] = {
      {"empty", "", {}},
      {"torn end", "x\ny", {{"x", true}, {"y", false}}},
      {"empty lines", "\n\nz\n", {{"", true}, {"", true}, {"z", true}}},
      {"a line over a piece", across + "\nq\n", {{across, true}, {"q", true}}},
      {"the longest taken", longest + "\n", {{longest, true}}},
      {"one byte over", "a\n" + over + "\nb\n", {{"a", true}, {"", true, true}, {"b", true}}},
      {"over, at the end", over, {{"", false, true}}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(dir.WriteFile("f", c.Content));
    const std::vector<TRead> lines = ReadAll(dir / "f", c.Content);
    ASSERT_EQ(lines.size(), c.Lines.size()) << c.What;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].Text, c.Lines[i].Text) << c.What << " line " << i;
      EXPECT_EQ(lines[i].Ended, c.Lines[i].Ended) << c.What << " line " << i;
      EXPECT_EQ(lines[i].TooLong, c.Lines[i].TooLong) << c.What << " line " << i;
    }
  }
}
