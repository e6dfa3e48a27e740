// The file check under hostile conditions: a file rewritten behind the
// read-ahead helper's back, pages another process keeps in memory, device
// nodes, sparse files, and items that name nothing or a file literally.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

#include "DepthFirstWalk.h"
#include "SystemError.h"
#include "TestFs.h"
#include "TestUtil.h"
#include "VerifierFixture.h"

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A whole run on its own thread, as the window program starts one.
void RunItems(TVerifierFixture& f, const Lines& items, TRunOptions options = {}) {
  f.Setup.VerifyList = items;
  TVerifier(f.Status, f.Setup, options).WaitFor();
}

void WaitUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (!done() && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(done());
}

std::int64_t BytesReadByThisThread() {
  std::ifstream io("/proc/thread-self/io");
  std::string key;
  std::int64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

}  // namespace

// The helper drops a file's pages and reads it ahead; the file is then
// rewritten, in place or by a rename over it, and its new pages are in
// memory. The worker must notice that what it opened is not what was
// dropped, and read the new content from the medium, not from memory.
TEST(HostileFiles, AFileRewrittenAfterTheHelpersDropIsReadFromTheMedium) {
  for (const bool byRename : {false, true}) {
    // The helper asks for 2 MiB of first.bin, the worker reads all 8: the
    // helper is at target.bin long before the worker. The test filesystem
    // keeps no times, so the new content differs in size, as a rewrite
    // with other data mostly does.
    const std::string old(64 * 1024, 'o'), replaced(64 * 1024 + 100, 'n');
    TTestFs fs({{.Path = "first.bin", .Size = 8 << 20, .DelayMs = 20},
                {.Path = "w/target.bin", .Content = old}},
               {}, {.KernelCache = true, .WritableDirs = {{.Path = "w"}}});
    KORVANE_REQUIRE_FUSE(fs);
    TVerifierFixture f(128 * 1024);
    f.Setup.VerifyList = {fs.Root() + "/*.*"};
    TVerifier verifier(f.Status, f.Setup);
    const auto helperOpened = [&] {
      const auto opened = fs.OpenedFiles();
      return std::count(opened.begin(), opened.end(), "w/target.bin") > 0;
    };
    WaitUntil(helperOpened);
    f.Status.SetPaused(true);  // the worker is still in first.bin
    if (byRename) {
      TestUtil::WriteFile(fs.PathOf("w/new.bin"), replaced);
      ASSERT_EQ(std::rename(fs.PathOf("w/new.bin").c_str(), fs.PathOf("w/target.bin").c_str()), 0);
    } else {
      TestUtil::WriteFile(fs.PathOf("w/target.bin"), replaced);
    }
    ASSERT_EQ(TestUtil::ReadFile(fs.PathOf("w/target.bin")), replaced);  // now in memory
    const int readsBefore = fs.ReadsServed("w/target.bin");
    f.Status.SetPaused(false);
    verifier.WaitFor();
    EXPECT_EQ(f.Status.FilesOk, 2) << byRename;
    EXPECT_GT(fs.ReadsServed("w/target.bin"), readsBefore) << "read from memory, rename " << byRename;
  }
}

// Pages that another process has mapped cannot be dropped: the run says so
// instead of passing the file as read from the medium.
TEST(HostileFiles, PagesAnotherProcessKeepsInMemoryAreReported) {
  TVerifierFixture f;
  const std::string mapped = f.Dir.PathOf("mapped.bin"), plain = f.Dir.PathOf("plain.bin");
  f.Dir.WriteFile("mapped.bin", std::string(1 << 20, 'm'));
  f.Dir.WriteFile("plain.bin", std::string(1 << 20, 'p'));
  const int fd = open(mapped.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  void* map = mmap(nullptr, 1 << 20, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  RunItems(f, {mapped, plain});
  munmap(map, 1 << 20);
  close(fd);
  EXPECT_EQ(f.Status.FilesOk, 2);
  EXPECT_EQ(f.Status.PagesKeptFiles, Lines{mapped});
}

// A file system that lives in memory keeps every page there: that is no
// other process's mapping, and the run must not say it is.
TEST(HostileFiles, FilesInMemoryAreNotReportedAsMapped) {
  if (access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no /dev/shm";
  TVerifierFixture f;
  const std::string path = "/dev/shm/korvane-test-" + std::to_string(getpid());
  TestUtil::WriteFile(path, std::string(1 << 20, 's'));
  RunItems(f, {path});
  std::remove(path.c_str());
  EXPECT_EQ(f.Status.FilesOk, 1);
  EXPECT_TRUE(f.Status.PagesKeptFiles.empty());
}

// Devices, FIFOs and sockets have no bytes to check and are never opened
// (a watchdog would start, a serial line toggle): each is a correct file
// of length 0, alike for all four kinds, and the walk goes on past them.
TEST(HostileFiles, SpecialEntriesAreNeverOpenedAndLoggedAlike) {
  if (geteuid() != 0) GTEST_SKIP() << "device nodes need root";
  TVerifierFixture f;
  const std::string dir = f.Dir.PathOf("dev");
  ASSERT_TRUE(f.Dir.MakeDir("dev"));
  // /dev/null's numbers, so that an open would succeed and be seen; a block
  // device of a driver that is not there; a FIFO nobody writes to; a socket.
  ASSERT_EQ(mknod((dir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod((dir + "/block").c_str(), S_IFBLK | 0600, makedev(240, 0)), 0);
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s/socket", dir.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  f.Dir.WriteFile("dev/zz.txt", "after");
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(watch, dir.c_str(), IN_OPEN), 0);

  RunItems(f, {dir + "/*.*"});
  close(sock);
  char events[4096];
  const ssize_t got = read(watch, events, sizeof events);
  close(watch);
  for (ssize_t at = 0; at < got;) {
    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
    const std::string name = event->len > 0 ? event->name : "";
    EXPECT_TRUE(name.empty() || name == "zz.txt") << name << " was opened";
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
  }
  for (const char* name : {"null", "block", "fifo", "socket"}) {
    const auto line = std::find(f.Status.Log.begin(), f.Status.Log.end(),
                                std::string("   文件'") + name + "':");
    ASSERT_NE(line, f.Status.Log.end()) << name;
    EXPECT_EQ(*(line + 1), "     长度: 0 字节 属性: 'S'") << name;
    EXPECT_EQ(*(line + 2), "     文件正确.") << name;
  }
  EXPECT_EQ(f.Status.FilesOk, 5);
  EXPECT_EQ(f.Status.FilesError, 0);
}

// Holes hold nothing on the medium and are passed over, yet the file is
// reported exactly as if every byte had been read: the same lines, counts
// and error positions as a file of the same bytes without holes.
TEST(HostileFiles, HolesArePassedOverWithTheSameOutcomeAsReading) {
  constexpr std::int64_t MiB = 1 << 20;
  const struct {
    const char* Name;
    std::int64_t Length;             // the file's own size
    std::vector<std::int64_t> Data;  // offsets of 4 KiB of data each
    std::int64_t ListedSize;         // the size the check is given
    std::int32_t Unit;
  } cases[] = {
      {"middle", 256 * MiB, {0, 100 * MiB + 5, 256 * MiB - 4096}, 256 * MiB, 1000},
      {"all-hole", 512 * MiB, {}, 512 * MiB, 1024},
      {"trailing", 256 * MiB, {MiB}, 256 * MiB, MaxReadUnit},
      // Shorter than listed: fails at the unit holding the end, as reads do.
      {"short", 64 * MiB + 77, {3 * MiB}, 80 * MiB, 1000},
  };
  for (const auto& c : cases) {
    TVerifierFixture f(c.Unit);
    const std::string sparse = f.Dir.PathOf(std::string(c.Name) + ".sparse");
    const std::string dense = f.Dir.PathOf(std::string(c.Name) + ".dense");
    {
      std::string bytes(static_cast<std::size_t>(c.Length), '\0');
      for (const std::int64_t at : c.Data) std::fill_n(bytes.begin() + at, 4096, 'd');
      f.Dir.WriteFile(std::string(c.Name) + ".dense", bytes);
      const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
      ASSERT_EQ(ftruncate(fd, c.Length), 0);
      for (const std::int64_t at : c.Data) ASSERT_EQ(pwrite(fd, bytes.data() + at, 4096, at), 4096);
      close(fd);
    }
    f.Verifier.VerifyFile(dense, c.ListedSize, 0);
    const Lines denseLog = f.LogFrom(2);
    const std::int64_t densePosition = f.Status.CurrentFilePosition;
    const std::int64_t before = BytesReadByThisThread();
    const std::size_t first = f.Status.Log.size();
    f.Verifier.VerifyFile(sparse, c.ListedSize, 0);
    const std::int64_t read = BytesReadByThisThread() - before;
    EXPECT_EQ(f.LogFrom(first + 2), denseLog) << c.Name;
    EXPECT_EQ(f.Status.CurrentFilePosition, densePosition) << c.Name;
    EXPECT_LT(read, 16 * MiB) << c.Name << ": the holes were read";
  }
}

// Items that name nothing fail; a path given literally is that file alone.
TEST(HostileFiles, ItemsNamingNothingOrOneFileLiterally) {
  TVerifierFixture f;
  f.Setup.AllSubdirectories = true;
  for (const char* p : {"op/a.txt", "op/sub/a.txt", "lit/a*b.txt", "lit/aXb.txt", "deep/sub/only.txt"})
    f.Dir.WriteFile(p, "1");
  const std::string missing = f.Dir.PathOf("missing.txt"), literal = f.Dir.PathOf("op/a.txt");
  const std::string starred = f.Dir.PathOf("lit/a*b.txt"), gone = f.Dir.PathOf("lit/gone.txt");
  f.Setup.LiteralItems = {literal, starred, gone};
  // Found only below the named directory: with subdirectories on, that is
  // what the user asked for, not a missing item.
  const std::string below = f.Dir.PathOf("deep/only.txt");
  RunItems(f, {missing, literal, starred, gone, below});
  EXPECT_EQ(f.Status.FilesOk, 3);  // op/a.txt, lit/a*b.txt, deep/sub/only.txt
  EXPECT_EQ(f.Status.MissingItems,
            (std::vector<TMissingItem>{{missing, ENOENT}, {gone, ENOENT}}));
  EXPECT_TRUE(Contains(f.Status.Log, "   没有匹配文件.")) << "the log as it always was";
  // Listed as failures at the log's end, as a file that cannot be opened.
  const Lines errors(f.Status.ErrorList.begin(), f.Status.ErrorList.end());
  EXPECT_EQ(errors, (Lines{"不能打开文件.: " + missing, "    文件错误代码=2",
                           "    系统错误信息=" + Platform::SystemErrorText(ENOENT),
                           "不能打开文件.: " + gone, "    文件错误代码=2",
                           "    系统错误信息=" + Platform::SystemErrorText(ENOENT)}));
}

// A directory that cannot be searched is a failure in the log, the error
// list and the last-error fields; an empty one is not.
TEST(HostileFiles, UnsearchableDirectoriesFailLikeFiles) {
  TVerifierFixture f;
  f.Dir.WriteFile("top/locked/x.txt", "x");
  f.Dir.MakeDir("top/empty");
  ASSERT_EQ(chmod(f.Dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(f.Dir.PathOf("top/locked").c_str(), 0), 0);
  const std::string locked = f.Dir.PathOf("top/locked");
  const int result = TestUtil::RunInChild([&] {
    if (!TestUtil::BecomeUnprivileged()) return 10;
    RunItems(f, {f.Dir.PathOf("top/*.*"), locked + "/x.txt", f.Dir.PathOf("nowhere/a.txt")});
    const Lines log = f.Status.Log;
    const auto block = std::find(log.begin(), log.end(), "   不能搜索目录.");
    if (block == log.end() || *(block - 1) != "* 扫描'" + locked + "/*.*',属性:'ARHS':") return 1;
    if (*(block + 1) != "     文件错误代码e=13") return 2;
    if (*(block + 2) != "     系统错误信息=" + Platform::SystemErrorText(EACCES)) return 3;
    if (!Contains(log, "不能搜索目录.: " + locked)) return 4;
    if (!Contains(log, "不能搜索目录.: " + f.Dir.PathOf("nowhere"))) return 5;
    if (f.Status.LastErrorFile != f.Dir.PathOf("nowhere")) return 6;
    if (f.Status.LastErrorMessage != "不能搜索目录.") return 7;
    if (f.Status.FilesError != 0 || f.Status.SearchFailures.size() != 2) return 8;
    if (!f.Status.MissingItems.empty()) return 9;  // its directory said it already
    // The later item in the locked directory: a block of its own under its
    // scan line, the directory still counted once.
    const auto later = std::find(log.begin(), log.end(), "* 扫描'" + locked + "/x.txt',属性:'ARHS':");
    if (later == log.end() || *(later + 1) != "   不能搜索目录.") return 12;
    return std::count(log.begin(), log.end(), "   没有匹配文件.") == 2 ? 0 : 11;  // top, empty
  });
  chmod(locked.c_str(), 0755);
  EXPECT_EQ(result, 0);
}

// A subdirectory list is used again only while its directory is unchanged.
TEST(HostileFiles, SubdirectoryListsFollowChangesOfTheirDirectory) {
  TTempDir dir;
  dir.MakeDir("a");
  Platform::TDirectoryChain chain(dir.Path());
  TSubdirectoryCache cache;
  const auto names = [&] {
    Lines found = cache.List(chain, Platform::faReadOnly | Platform::faHidden).Names;
    std::sort(found.begin(), found.end());
    return found;
  };
  EXPECT_EQ(names(), Lines{"a"});
  EXPECT_EQ(names(), Lines{"a"});
  dir.MakeDir("b");
  dir.MakeDir(".hidden");
  EXPECT_EQ(names(), (Lines{".hidden", "a", "b"}));
  ASSERT_EQ(rmdir(dir.PathOf("a").c_str()), 0);
  EXPECT_EQ(names(), (Lines{".hidden", "b"}));
  EXPECT_EQ(cache.List(chain, Platform::faReadOnly).Names, Lines{"b"}) << "other attributes, other list";
}
