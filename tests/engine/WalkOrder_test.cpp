// Two runs over one tree check its files in one order, whatever order the
// file system lists each directory in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

using Lines = std::vector<std::string>;

namespace {

// The log of a whole run over root, with the root taken out of every line
// and the run time left off.
Lines RunLog(const std::string& root, bool readAhead) {
  TTempDir dir;
  TVerifyStatus status;
  TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
  setup.AllSubdirectories = true;
  setup.AllFileAttributes = true;
  setup.VerifyList = {root + "/*.*"};
  TVerifier verifier(status, setup, {.ReadAhead = readAhead});
  verifier.WaitFor();
  Lines log;
  for (std::string line : status.Log) {
    for (auto at = line.find(root); at != std::string::npos; at = line.find(root))
      line.replace(at, root.size(), "ROOT");
    log.push_back(line);
  }
  log.pop_back();
  return log;
}

Lines FileLines(const Lines& log) {
  Lines files;
  std::copy_if(log.begin(), log.end(), std::back_inserter(files),
               [](const std::string& line) { return line.starts_with("   文件'"); });
  return files;
}

}  // namespace

TEST(WalkOrder, SameLogWhateverOrderTheDirectoriesList) {
  std::vector<TTestFile> files;
  for (const std::string dir : {"", "Sub/", "sub2/", "Sub/deeper/"}) {
    for (const std::string name : {"b.bin", "A.bin", "a.bin", "\xC3\xA4.bin", "c10.bin", "C2.bin"})
      files.push_back({.Path = dir + name, .Size = 3000});
  }
  files.push_back({.Path = "sub2/bad.bin", .Size = 5000, .ErrorAt = 1500});
  std::vector<TTestFile> reversed(files.rbegin(), files.rend());
  TTestFs listed(files), listedBackwards(reversed);
  KORVANE_REQUIRE_FUSE(listed);
  KORVANE_REQUIRE_FUSE(listedBackwards);

  const Lines log = RunLog(listed.Root(), true);
  EXPECT_EQ(RunLog(listedBackwards.Root(), true), log);
  EXPECT_EQ(RunLog(listedBackwards.Root(), false), log);
  // Files first, then subdirectories; each by the name with case ignored.
  Lines top = FileLines(log);
  top.resize(6);
  EXPECT_EQ(top, (Lines{"   文件'A.bin':", "   文件'a.bin':", "   文件'b.bin':", "   文件'c10.bin':",
                        "   文件'C2.bin':", "   文件'\xC3\xA4.bin':"}));
  Lines scans;
  std::copy_if(log.begin(), log.end(), std::back_inserter(scans),
               [](const std::string& line) { return line.starts_with("* "); });
  EXPECT_EQ(scans, (Lines{"* 扫描'ROOT/*.*',属性:'ARHS':", "* 扫描'ROOT/Sub/*.*',属性:'ARHS':",
                          "* 扫描'ROOT/Sub/deeper/*.*',属性:'ARHS':",
                          "* 扫描'ROOT/sub2/*.*',属性:'ARHS':"}));
}
