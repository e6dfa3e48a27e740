// One item per file: korvane-cli given 10,000 files of a directory that
// holds 30,000, against cat reading the same files, data in the page cache
// (read with --cached).
// An item names its file directly, so its cost must not grow with the
// number of files beside it; with -S (the default) the directory's list of
// subdirectories is read once for all items, not once for each.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "BenchTree.h"
#include "BenchUtil.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;
constexpr int DirectoryFiles = 30000;
constexpr int Items = 10000;

// Every third file of the directory, made on first use.
std::vector<std::string> MakeItems(const std::string& scratch) {
  const std::string dir = scratch + "/korvane-bench-items";
  const bool made = access(dir.c_str(), F_OK) == 0;
  mkdir(dir.c_str(), 0755);
  std::vector<std::string> items;
  for (int i = 0; i < DirectoryFiles; ++i) {
    const std::string path = dir + "/file" + std::to_string(i) + ".dat";
    if (!made) BenchTree::WriteFile(path, static_cast<std::size_t>(i * 37) % 8192);
    if (i % 3 == 1) items.push_back(path);
  }
  // A directory changed moments ago is listed again for every item (its
  // time may not show a change that close): a real run's directory is older.
  if (!made) sleep(4);
  return items;
}

std::vector<std::string> Command(std::vector<std::string> head,
                                 const std::vector<std::string>& items, std::size_t count) {
  head.insert(head.end(), items.begin(), items.begin() + static_cast<std::ptrdiff_t>(count));
  return head;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  const std::vector<std::string> items = MakeItems(scratch);
  const auto ours = Command({Cli, "--cached", "-S-", "-P-"}, items, Items);
  const auto cat = Command({"cat"}, items, Items);
  RunQuietly(cat);  // into the page cache
  const auto [seconds, baseline] = BestOf(5, [&] { RunQuietly(ours); }, [&] { RunQuietly(cat); });
  const bool ok = ReportRatio("korvane-cli -S- 10,000 items of 30,000 files vs cat", seconds,
                              baseline, 1.5);

  const auto withSubdirectories = Command({Cli, "--cached", "-S", "-P-"}, items, Items);
  const auto [subSeconds, subBaseline] =
      BestOf(3, [&] { RunQuietly(withSubdirectories); }, [&] { RunQuietly(cat); });
  const bool subOk = ReportRatio("korvane-cli -S 10,000 items of 30,000 files vs cat", subSeconds,
                                 subBaseline, 1.5);
  return ok && subOk ? 0 : 1;
}
