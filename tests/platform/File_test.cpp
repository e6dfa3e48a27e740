#include "File.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <locale.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "Process.h"
#include "SystemError.h"
#include "TempDir.h"
#include "TestUtil.h"

using namespace Platform;
using TestUtil::WriteFile;

namespace {

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds) != nullptr) ++count;
    closedir(fds);
  }
  return count;
}

}  // namespace

TEST(PlatformReadFile, ReadsInOrderAndEndsShortWithoutError) {
  TTempDir dir;
  std::string content(1000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(dir / "data", content);
  TReadFile file;
  ASSERT_EQ(file.Open(dir / "data"), 0);
  std::vector<char> buffer(1024);
  std::int64_t done = -1;
  EXPECT_EQ(file.Read(buffer.data(), 600, done), 0);
  EXPECT_EQ(std::string(buffer.data(), done), content.substr(0, 600));
  EXPECT_EQ(file.Read(buffer.data(), 1024, done), 0);  // short at the end: code 0
  EXPECT_EQ(std::string(buffer.data(), done), content.substr(600));
  EXPECT_EQ(file.Read(buffer.data(), 1024, done), 0);
  EXPECT_EQ(done, 0);
}

TEST(PlatformReadFile, FailuresGiveTheSystemCode) {
  TTempDir dir;
  WriteFile(dir / "file", "x");
  const std::pair<std::string, int> opens[] = {
      {dir / "missing", ENOENT}, {dir / "file/below", ENOTDIR}, {"", ENOENT},
      {dir / std::string(300, 'n'), ENAMETOOLONG}};
  char buffer[16];
  std::int64_t done = -1;
  for (const auto& [path, code] : opens) {
    TReadFile file;
    EXPECT_EQ(file.Open(path), code) << path;
    EXPECT_FALSE(file.IsOpen()) << path;
    EXPECT_EQ(file.Read(buffer, 1, done), EBADF);
  }
  // Only a regular file is opened: what else a name holds fails at once.
  TReadFile directory;
  EXPECT_EQ(directory.Open(dir.Path()), EISDIR);
  EXPECT_FALSE(directory.IsOpen());
}

// A FIFO is never opened for reading, so it can neither hang the open nor
// take bytes a writer meant for someone else.
TEST(PlatformReadFile, AFifoWithoutWriterDoesNotHang) {
  TTempDir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  auto attempt = std::async(std::launch::async, [&] {
    TReadFile file;
    const int opened = file.Open(fifo);
    char buffer[16];
    std::int64_t done = -1;
    return std::make_pair(opened, opened == 0 ? file.Read(buffer, sizeof buffer, done) : -1);
  });
  if (attempt.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // lets the open return
    if (writer >= 0) close(writer);
    attempt.wait();
    FAIL() << "open or read of a FIFO blocked";
  }
  EXPECT_EQ(attempt.get(), std::make_pair(ENXIO, -1));
}

namespace {
std::atomic<bool> LeaseBreaking{false};
}  // namespace

// A file under an open lease (Samba, an NFS delegation) is readable: the
// open waits for the holder to give the lease up, as cat's does, where a
// non-blocking open failed at once with EAGAIN.
TEST(PlatformReadFile, AnOpenWaitsForTheLeaseBreak) {
  TTempDir dir;
  const std::string path = dir / "leased";
  WriteFile(path, "data");
  struct sigaction onBreak {}, previous {};
  onBreak.sa_handler = [](int) { LeaseBreaking = true; };
  sigemptyset(&onBreak.sa_mask);
  ASSERT_EQ(sigaction(SIGIO, &onBreak, &previous), 0);
  const int holder = open(path.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  if (fcntl(holder, F_SETLEASE, F_WRLCK) != 0) {
    close(holder);
    sigaction(SIGIO, &previous, nullptr);
    GTEST_SKIP() << "no leases here: " << SystemErrorText(errno);
  }
  auto opening = std::async(std::launch::async, [&] {
    TReadFile file;
    const int code = file.Open(path);
    std::int64_t done = 0;
    char buffer[8];
    return code != 0 ? code : file.Read(buffer, sizeof buffer, done) + (done == 4 ? 0 : 1000);
  });
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!LeaseBreaking && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(LeaseBreaking) << "the open did not ask for the lease";
  EXPECT_EQ(opening.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout)
      << "the open did not wait for the lease";
  fcntl(holder, F_SETLEASE, F_UNLCK);
  EXPECT_EQ(opening.get(), 0);
  close(holder);
  sigaction(SIGIO, &previous, nullptr);
}

TEST(PlatformReadFile, DescriptorsAreReleased) {
  TTempDir dir;
  WriteFile(dir / "a", "a");
  WriteFile(dir / "b", "b");
  // The process's descriptor directory, opened with the first file and
  // held from then on, is not the file's.
  TReadFile().Open(dir / "a");
  const int before = OpenDescriptorCount();
  {
    TReadFile file;
    ASSERT_EQ(file.Open(dir / "a"), 0);
    ASSERT_EQ(file.Open(dir / "b"), 0);  // reopening closes the first
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    file.Close();
    file.Close();
    EXPECT_EQ(OpenDescriptorCount(), before);
    ASSERT_EQ(file.Open(dir / "b"), 0);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(PlatformSystemError, ChineseTextsAndEmptyTextsForNoMessage) {
  const locale_t zh = newlocale(LC_ALL_MASK, "zh_CN.UTF-8", static_cast<locale_t>(0));
  if (zh) freelocale(zh);
  const std::tuple<int, const char*, const char*> cases[] = {
      {0, "", ""},
      {EIO, "输入/输出错误", "Input/output error"},
      {EACCES, "权限不够", "Permission denied"},
      {ENOENT, "没有那个文件或目录", "No such file or directory"},
      {EISDIR, "是一个目录", "Is a directory"},
      {ENOMEDIUM, "找不到介质", "No medium found"},
      {-1, "", ""}, {4096, "", ""}, {1000000, "", ""},
  };
  for (const auto& [code, chinese, untranslated] : cases) {
    EXPECT_EQ(SystemErrorText(code), zh ? chinese : untranslated) << code;
  }
  if (!zh) GTEST_SKIP() << "zh_CN.UTF-8 is not installed; untranslated texts checked";
}

TEST(PlatformSystemError, SameTextsFromManyThreadsWhateverTheirLocale) {
  const std::string expected = SystemErrorText(EACCES);
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      // Half of the threads have a locale of their own; the text stays.
      const locale_t own = t % 2 ? newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0)) : nullptr;
      if (own) uselocale(own);
      for (int i = 0; i < 500; ++i) {
        if (SystemErrorText(EACCES) != expected || !SystemErrorText(0).empty()) ++mismatches;
      }
      if (own) {
        uselocale(LC_GLOBAL_LOCALE);
        freelocale(own);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

namespace {

// How many of the file's pages the system's cache holds.
std::size_t PagesInCache(const std::string& path, std::size_t size) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return 0;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((size + page - 1) / page);
  mincore(map, size, resident.data());
  munmap(map, size);
  std::size_t count = 0;
  for (const unsigned char r : resident) count += r & 1;
  return count;
}

}  // namespace

// Pages still waiting to be written cannot be dropped: the write-back must
// come first, or a file copied a moment ago would be read from memory.
TEST(PlatformReadFile, DropsEvenPagesNotYetWritten) {
  TTempDir dir;
  struct statfs fs {};
  if (statfs(dir.Path().c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC)
    GTEST_SKIP() << "on tmpfs the cache is the medium";
  constexpr std::size_t size = 1 << 20;
  ASSERT_TRUE(dir.WriteFile("fresh.bin", std::string(size, 'c')));
  const std::string path = dir.PathOf("fresh.bin");
  ASSERT_GT(PagesInCache(path, size), 0u);
  TReadFile file;
  ASSERT_EQ(file.Open(path), 0);
  file.DropCachedPages();
  EXPECT_EQ(PagesInCache(path, size), 0u);
}

TEST(PlatformSystemError, TextsStayChineseWhenTheProcessRunsOutOfDescriptors) {
  const locale_t zh = newlocale(LC_ALL_MASK, "zh_CN.UTF-8", static_cast<locale_t>(0));
  if (!zh) GTEST_SKIP() << "zh_CN.UTF-8 is not installed";
  freelocale(zh);
  // Lookups while no file can be opened, in a fresh process each (the
  // threadsafe style starts the test program anew), with and without the
  // start-up that the programs do.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto lookUp = [](bool started) {
    if (started) InitializeProcess();
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 64);
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> taken;
    for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
    const std::string during = SystemErrorText(EMFILE);
    for (const int fd : taken) close(fd);
    const std::string after = SystemErrorText(ENOENT);
    std::fprintf(stderr, "during: %s, after: %s\n", during.c_str(), after.c_str());
    // Without the start-up the first lookup may fail, but must not stick.
    std::_Exit((!started || during == "打开的文件过多") && after == "没有那个文件或目录" ? 0 : 1);
  };
  EXPECT_EXIT(lookUp(true), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(lookUp(false), testing::ExitedWithCode(0), "");
}
