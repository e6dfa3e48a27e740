// A whole run over trees against what find(1) lists under the rules of our
// directory walk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "CliProcess.h"
#include "DeepTree.h"
#include "TempDir.h"

namespace {

struct TTotals {
  long long Ok = 0;
  long long Errors = 0;
  long long Bytes = 0;
  bool operator==(const TTotals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TTotals& t) {
  return out << "ok " << t.Ok << ", errors " << t.Errors << ", bytes " << t.Bytes;
}

std::vector<long long> FindNumbers(const std::string& command) {
  std::vector<long long> numbers;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return numbers;
  long long value;
  while (std::fscanf(pipe, "%lld", &value) == 1) numbers.push_back(value);
  pclose(pipe);
  return numbers;
}

// The walk's rules in find's terms (-L: look through links). A link to a
// directory is neither entered nor verified; a link to a file counts with
// the target's size; a dangling link is a file whose open fails. Without
// -A, names beginning with '.' are left out with all that lies under them.
// (Neither tree holds FIFOs, sockets or devices, which -A would add.)
TTotals FindTotals(const std::string& root, bool allAttributes) {
  const std::string linkToDirectory = "\\( -xtype l -type d \\)";
  const std::string prune = allAttributes ? linkToDirectory : "\\( -name '.*' -o " + linkToDirectory + " \\)";
  const std::string base = "find -L '" + root + "' -mindepth 1 " + prune + " -prune -o ";
  TTotals totals;
  for (const long long size : FindNumbers(base + "-type f -printf '%s\\n' 2>/dev/null")) {
    ++totals.Ok;
    totals.Bytes += size;
  }
  totals.Errors = static_cast<long long>(FindNumbers(base + "-type l -printf '1\\n' 2>/dev/null").size());
  return totals;
}

long long CountIn(const std::vector<std::string>& log, const std::string& prefix) {
  for (const auto& line : log) {
    if (!line.starts_with(prefix)) continue;
    std::string digits;
    for (const char c : line.substr(prefix.size())) {
      if (c >= '0' && c <= '9') digits += c;
    }
    return std::stoll(digits);
  }
  ADD_FAILURE() << "no line " << prefix;
  return -1;
}

// The hard cases of a walk, in a tree of our own.
void MakeHardTree(TTempDir& tree) {
  tree.WriteFile("a.txt", "hello");
  tree.WriteFile(".hidden.txt", "1234567");
  tree.WriteFile(".hiddendir/in.txt", "eleven char");
  tree.WriteFile("d/e/f.bin", std::string(1000, 'f'));
  tree.WriteFile("d/.h2", "abc");
  tree.WriteFile("名字\xFF.dat", "thirteen byte");
  tree.WriteFile("empty", "");
  std::filesystem::create_symlink("a.txt", tree.PathOf("link-to-file"));
  std::filesystem::create_symlink("d", tree.PathOf("link-to-dir"));
  std::filesystem::create_symlink("nowhere", tree.PathOf("dangling"));
  std::filesystem::create_symlink(".hidden.txt", tree.PathOf("link-to-hidden"));
}

}  // namespace

TEST(CliRealTree, TotalsMatchWhatFindLists) {
  TTempDir hard, deep;
  MakeHardTree(hard);
  // 200 levels: its deepest paths are longer than the system (and find -L)
  // takes whole, so the tree states its own totals.
  const TDeepTree deepTree(deep.Path(), 200, 30);
  const struct {
    std::string Root;
    bool AllAttributes;
    std::optional<TTotals> Known{};
  } cases[] = {{hard.Path(), true},
               {hard.Path(), false},
               {deep.Path(), false, TTotals{200, 0, deepTree.Bytes()}},
               {"/usr/share/doc", true},
               {"/usr/share/doc", false}};
  for (const auto& c : cases) {
    if (access(c.Root.c_str(), R_OK) != 0) continue;  // a machine without that tree
    const TTotals expected = c.Known ? *c.Known : FindTotals(c.Root, c.AllAttributes);
    ASSERT_GT(expected.Ok, 0) << c.Root;
    const TCliResult r =
        RunCli({"-S", "-P-", c.AllAttributes ? "-A" : "-A-", "--quiet", c.Root + "/*.*"});
    const auto log = SplitLines(r.Out);
    const TTotals got{CountIn(log, "总计正确文件数: "), CountIn(log, "总计错误文件数: "),
                      CountIn(log, "总计字节数: ")};
    EXPECT_EQ(got, expected) << c.Root << (c.AllAttributes ? " -A" : " -A-");
    EXPECT_EQ(r.ExitCode, expected.Errors > 0 ? 1 : 0) << c.Root;
  }
}
