#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "DeepTree.h"
#include "TestFs.h"
#include "TestUtil.h"
#include "SystemError.h"
#include "VerifierFixture.h"

using Lines = std::vector<std::string>;

namespace {

long CountLinesStartingWith(const TStringList& log, const std::string& prefix) {
  return std::count_if(log.begin(), log.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

bool Contains(const TStringList& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

}  // namespace

TEST(ScanDirectory, MaskAndHiddenFilesFollowTheAttributeOption) {
  TVerifierFixture f;
  f.Dir.WriteFile("data/a.txt", "aa");
  f.Dir.WriteFile("data/.hidden.txt", "h");
  f.Dir.WriteFile("data/b.doc", "b");
  const std::string item = f.Dir.PathOf("data") + "/*.txt";
  f.Setup.AllFileAttributes = false;
  f.Setup.AllSubdirectories = false;
  f.Verifier.ScanDirectory(item);
  EXPECT_EQ(f.LogFrom(), (Lines{"* 扫描'" + item + "',属性:'AR':", "   文件'a.txt':",
                                "     长度: 2 字节", "     文件正确."}));
  EXPECT_EQ(f.Status.CurrentDirectory, f.Dir.PathOf("data") + "/");

  f.Setup.AllFileAttributes = true;
  f.Verifier.ScanDirectory(item);
  EXPECT_EQ(f.Status.Log[4], "* 扫描'" + item + "',属性:'ARHS':");
  EXPECT_TRUE(Contains(f.Status.Log, "     长度: 1 字节 属性: 'H'"));
  EXPECT_EQ(f.Status.FilesOk, 3);
}

TEST(ScanDirectory, RootItemAndMissingDirectory) {
  TVerifierFixture f;
  f.Setup.AllSubdirectories = false;
  f.Verifier.ScanDirectory("/*.no-such-extension-here");
  EXPECT_EQ(f.Status.CurrentDirectory, "/");
  const std::string missing = f.Dir.PathOf("nowhere") + "/*.*";
  f.Setup.AllSubdirectories = true;
  f.Verifier.ScanDirectory(missing);
  // A directory that is not there is not one without matching files.
  EXPECT_EQ(f.LogFrom(), (Lines{"* 扫描'/*.no-such-extension-here',属性:'ARHS':", "   没有匹配文件.",
                                "* 扫描'" + missing + "',属性:'ARHS':", "   不能搜索目录.",
                                "     文件错误代码e=2", "     系统错误信息=" +
                                Platform::SystemErrorText(ENOENT)}));
}

TEST(ScanDirectory, ChosenFileIsAlsoCheckedInEverySubdirectory) {
  TVerifierFixture f;
  // The name is looked up as written: "A.TXT" is another file.
  for (const char* p : {"d/a.txt", "d/x/a.txt", "d/y/z/a.txt", "d/y/b.txt", "d/A.TXT", "d/y/A.txt"})
    f.Dir.WriteFile(p, "1");
  f.Verifier.ScanDirectory(f.Dir.PathOf("d/a.txt"));
  EXPECT_EQ(f.Status.FilesOk, 3);
  EXPECT_EQ(CountLinesStartingWith(f.Status.Log, "* 扫描'"), 4);  // d, x, y, z
  EXPECT_TRUE(Contains(f.Status.Log, "* 扫描'" + f.Dir.PathOf("d/y/z/a.txt") + "',属性:'ARHS':"));
  EXPECT_EQ(f.Status.CurrentDirectory, f.Dir.PathOf("d") + "/");
}

TEST(ScanDirectory, DirectoryNamedWithoutMaskMatchesNoFile) {
  TVerifierFixture f;
  f.Dir.WriteFile("data/one", "1");
  f.Dir.WriteFile("other/data", "2");
  f.Verifier.ScanDirectory(f.Dir.PathOf("data"));
  EXPECT_EQ(f.Status.Log[1], "   没有匹配文件.");
  // The subdirectories of the parent are searched for files named "data".
  EXPECT_EQ(f.Status.FilesOk, 1);
  EXPECT_EQ(f.Status.LastOkFile, f.Dir.PathOf("other/data"));
}

TEST(ScanDirectory, SymbolicLinkCycleEnds) {
  TVerifierFixture f;
  f.Dir.WriteFile("d/a", "1");
  std::filesystem::create_directory_symlink(f.Dir.PathOf("d"), f.Dir.PathOf("d/loop"));
  f.Verifier.ScanDirectory(f.Dir.PathOf("d") + "/*.*");
  EXPECT_EQ(f.Status.FilesOk, 1);
  EXPECT_EQ(CountLinesStartingWith(f.Status.Log, "* 扫描'"), 1);
}

TEST(ScanDirectory, EmptyDirectoryMeetingASkipRequest) {
  TVerifierFixture f;
  f.Dir.MakeDir("empty/sub");
  f.Dir.WriteFile("empty/sub/x", "1");
  f.Status.SkipDirectory = true;
  f.Verifier.ScanDirectory(f.Dir.PathOf("empty") + "/*.*");
  EXPECT_EQ(f.LogFrom(1), (Lines{"   没有匹配文件.", "   目录被跳过."}));
  EXPECT_EQ(f.Status.DirsSkipped, 1);
  EXPECT_FALSE(f.Status.SkipDirectory);
}

TEST(ScanDirectory, SkipDirectoryLeavesTheRestAndGoesOnWithTheNextSibling) {
  TTestFs fs({{.Path = "d/1", .Size = 64 * 1024, .DelayMs = 5},
              {.Path = "d/2", .Size = 10},
              {.Path = "d/sub/3", .Size = 10},
              {.Path = "e/4", .Size = 10}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f;
  std::thread worker([&] { f.Verifier.ScanDirectory(fs.Root() + "/*.*"); });
  f.WaitForPosition(1024);
  f.Status.SkipDirectory = true;
  worker.join();
  const auto& log = f.Status.Log;
  const auto skipped = std::find(log.begin(), log.end(), "     文件被跳过.");
  ASSERT_NE(skipped, log.end());
  EXPECT_EQ(*(skipped + 1), "   目录被跳过.");
  EXPECT_FALSE(Contains(log, "   文件'2':"));
  EXPECT_FALSE(Contains(log, "   文件'3':"));
  EXPECT_TRUE(Contains(log, "   文件'4':"));
  EXPECT_EQ(f.Status.FilesSkipped, 1);
  EXPECT_EQ(f.Status.DirsSkipped, 1);
  EXPECT_EQ(f.Status.FilesOk, 1);
}

TEST(ScanDirectory, StoppedWalkDoesNotDescend) {
  TVerifierFixture f;
  f.Dir.WriteFile("d/a", "1");
  f.Dir.WriteFile("d/sub/b", "2");
  f.Verifier.Terminate();
  f.Verifier.ScanDirectory(f.Dir.PathOf("d") + "/*.*");
  EXPECT_EQ(CountLinesStartingWith(f.Status.Log, "* 扫描'"), 1);
}

// Relative items are taken relative to the working directory; the check
// runs in a child process so that no other test sees the changed directory.
TEST(ScanDirectory, RelativeItems) {
  TVerifierFixture f;
  f.Dir.WriteFile("top.txt", "1");
  f.Dir.WriteFile("a/in.txt", "22");
  const int result = TestUtil::RunInChild([&] {
    f.Setup.AllSubdirectories = false;
    bool ok = chdir(f.Dir.Path().c_str()) == 0;
    f.Verifier.ScanDirectory("*.txt");
    ok = ok && f.Status.CurrentDirectory.empty() && f.Status.LastOkFile == "top.txt";
    f.Verifier.ScanDirectory("a/*.txt");
    ok = ok && f.Status.CurrentDirectory == "a/" && f.Status.LastOkFile == "a/in.txt";
    return ok && f.Status.FilesOk == 2 ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
}

// Paths far longer than the system takes whole, and more levels than the
// process may hold descriptors; the walk runs in a child for the limit.
TEST(ScanDirectory, DeepTreesLoseNoFile) {
  const struct {
    int Levels;
    std::size_t NameLength;
    rlim_t DescriptorLimit;  // 0: as it is
  } cases[] = {{200, 30, 0}, {1500, 1, 256}};
  for (const auto& c : cases) {
    TVerifierFixture f;
    const TDeepTree tree(f.Dir.Path(), c.Levels, c.NameLength);
    const int result = TestUtil::RunInChild([&] {
      const rlimit limit{c.DescriptorLimit, c.DescriptorLimit};
      if (c.DescriptorLimit != 0 && setrlimit(RLIMIT_NOFILE, &limit) != 0) return 10;
      f.Verifier.ScanDirectory(f.Dir.Path() + "/*.*");
      if (f.Status.FilesOk != c.Levels || f.Status.FilesError != 0) return 1;
      if (f.Status.TotalBytes != tree.Bytes()) return 2;
      if (!f.Status.SearchFailures.empty()) return 3;
      if (f.Status.LastOkFile != tree.DeepestFile()) return 4;
      // An item as long as that, naming its file.
      f.Verifier.ScanDirectory(tree.DeepestFile());
      return f.Status.FilesOk == c.Levels + 1 ? 0 : 5;
    });
    EXPECT_EQ(result, 0) << c.Levels << " levels; 1 count, 2 bytes, 3 failures, 4 path, 5 item";
  }
}
