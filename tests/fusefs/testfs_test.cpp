// korvane_testfs must fail exactly where the engine's tests say it does:
// these tests check it with plain system calls, independent of the engine.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "TestFs.h"

namespace {

struct TReadResult {
  ssize_t Count = -1;
  int Error = 0;
  std::string Data;
};

// One pread on a fresh descriptor, as the engine reads one unit.
TReadResult ReadAt(const std::string& path, std::int64_t offset, std::size_t count) {
  TReadResult result;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.Error = errno;
    return result;
  }
  result.Data.resize(count);
  result.Count = pread(fd, result.Data.data(), count, offset);
  result.Error = result.Count < 0 ? errno : 0;
  result.Data.resize(result.Count < 0 ? 0 : static_cast<std::size_t>(result.Count));
  close(fd);
  return result;
}

std::string Pattern(std::int64_t offset, std::size_t count) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) bytes += TestFsByte(offset + static_cast<std::int64_t>(i));
  return bytes;
}

// errno of a failed call, 0 for success.
int ErrorOf(int result) { return result < 0 ? errno : 0; }

std::set<std::string> List(const std::string& dir) {
  std::set<std::string> names;
  DIR* stream = opendir(dir.c_str());
  if (stream == nullptr) return {"<" + std::string(strerrorname_np(errno)) + ">"};
  while (const dirent* entry = readdir(stream)) names.insert(entry->d_name);
  closedir(stream);
  return names;
}

}  // namespace

TEST(TestFs, ServesListedSizesModesAndContent) {
  constexpr std::int64_t big = (std::int64_t{3} << 30) + 5;
  const std::string text = "hello\nworld, 100% sure\tend\xE2\x82\xAC";
  TTestFs fs({{.Path = "pattern.bin", .Size = 10000},
              {.Path = "note.txt", .Content = text},
              {.Path = "readonly.txt", .Size = 3, .Mode = 0444},
              {.Path = "empty", .Size = 0},
              {.Path = "big.bin", .Size = big},
              {.Path = "名字 with blank.bin", .Size = 100}});
  KORVANE_REQUIRE_FUSE(fs);

  const struct {
    const char* Name;
    std::int64_t Size;
    unsigned Mode;
  } expected[] = {{"pattern.bin", 10000, 0644}, {"note.txt", std::int64_t(text.size()), 0644},
                  {"readonly.txt", 3, 0444},    {"empty", 0, 0644},
                  {"big.bin", big, 0644},       {"名字 with blank.bin", 100, 0644}};
  for (const auto& file : expected) {
    struct stat st {};
    ASSERT_EQ(ErrorOf(stat(fs.PathOf(file.Name).c_str(), &st)), 0) << file.Name;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << file.Name;
    EXPECT_EQ(st.st_mode & 07777, file.Mode) << file.Name;
    EXPECT_EQ(st.st_size, file.Size) << file.Name;
  }

  // Whole file in odd-sized pieces, so that no piece starts on a boundary.
  std::string whole;
  for (std::int64_t offset = 0;;) {
    const TReadResult piece = ReadAt(fs.PathOf("pattern.bin"), offset, 3001);
    ASSERT_GE(piece.Count, 0) << strerrorname_np(piece.Error);
    if (piece.Count == 0) break;
    whole += piece.Data;
    offset += piece.Count;
  }
  EXPECT_TRUE(whole == Pattern(0, 10000)) << "pattern.bin differs; " << whole.size() << " bytes read";
  EXPECT_EQ(ReadAt(fs.PathOf("note.txt"), 0, 100).Data, text);
  EXPECT_EQ(ReadAt(fs.PathOf("big.bin"), big - 10, 100).Data, Pattern(big - 10, 10));
  EXPECT_EQ(ReadAt(fs.PathOf("名字 with blank.bin"), 90, 100).Data, Pattern(90, 10));
  EXPECT_EQ(ReadAt(fs.PathOf("empty"), 0, 100).Count, 0);
}

TEST(TestFs, ReadFailsExactlyWhereTheBadSectorIs) {
  TTestFs fs({{.Path = "bad.bin", .Size = 8192, .ErrorAt = 2100},
              {.Path = "bad-first-byte", .Size = 100, .ErrorAt = 0},
              {.Path = "bad-in-last-unit", .Size = 3000, .ErrorAt = 2900}});
  KORVANE_REQUIRE_FUSE(fs);
  const struct {
    const char* Name;
    std::int64_t Offset;
    std::size_t Count;
    ssize_t Result;  // bytes read, or -1 for EIO
  } reads[] = {
      {"bad.bin", 0, 1024, 1024},    {"bad.bin", 1024, 1024, 1024}, {"bad.bin", 2048, 1024, -1},
      {"bad.bin", 2000, 100, 100},   {"bad.bin", 2000, 101, -1},    {"bad.bin", 2099, 1, 1},
      {"bad.bin", 2100, 1, -1},      {"bad.bin", 4096, 1024, -1},   {"bad.bin", 8192, 1024, 0},
      {"bad.bin", 0, 1024, 1024},  // a failure does not spoil the good part
      {"bad-first-byte", 0, 1, -1},  {"bad-in-last-unit", 2048, 4096, -1},
      {"bad-in-last-unit", 0, 2048, 2048},
  };
  for (const auto& read : reads) {
    const TReadResult got = ReadAt(fs.PathOf(read.Name), read.Offset, read.Count);
    EXPECT_EQ(got.Count, read.Result) << read.Name << " at " << read.Offset << " +" << read.Count;
    if (read.Result < 0) {
      EXPECT_EQ(got.Error, EIO) << read.Name << " at " << read.Offset;
    } else {
      EXPECT_TRUE(got.Data == Pattern(read.Offset, got.Data.size())) << read.Name << " at " << read.Offset;
    }
  }
}

TEST(TestFs, RefusedOpenAndShortFile) {
  TTestFs fs({{.Path = "locked", .Size = 10, .DenyOpen = true},
              {.Path = "short", .Size = 5000, .ActualSize = 3000}});
  KORVANE_REQUIRE_FUSE(fs);

  struct stat st {};
  ASSERT_EQ(ErrorOf(stat(fs.PathOf("locked").c_str(), &st)), 0);
  EXPECT_EQ(st.st_size, 10);
  EXPECT_EQ(ErrorOf(open(fs.PathOf("locked").c_str(), O_RDONLY)), EACCES) << "euid " << geteuid();

  ASSERT_EQ(ErrorOf(stat(fs.PathOf("short").c_str(), &st)), 0);
  EXPECT_EQ(st.st_size, 5000);
  const int fd = open(fs.PathOf("short").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << strerrorname_np(errno);
  std::string buffer(8192, '\0');
  EXPECT_EQ(read(fd, buffer.data(), buffer.size()), 3000);
  EXPECT_TRUE(buffer.substr(0, 3000) == Pattern(0, 3000));
  EXPECT_EQ(read(fd, buffer.data(), buffer.size()), 0);
  EXPECT_EQ(pread(fd, buffer.data(), 100, 4000), 0);
  close(fd);
}

TEST(TestFs, DelayedReadsTakeTheirTime) {
  TTestFs fs({{.Path = "slow", .Size = 4096, .DelayMs = 200}});
  KORVANE_REQUIRE_FUSE(fs);
  const auto start = std::chrono::steady_clock::now();
  const TReadResult got = ReadAt(fs.PathOf("slow"), 0, 1024);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(got.Data == Pattern(0, 1024));
  EXPECT_GE(took, std::chrono::milliseconds(150));
}

// With threads, a read held in a slow region holds up nothing else.
TEST(TestFs, SlowRegionsHoldOnlyTheReadsThatTouchThem) {
  using namespace std::chrono;
  TTestFs fs({{.Path = "worn", .Size = 8192, .SlowRegions = {{4096, 4097, 1000}}},
              {.Path = "other", .Size = 10}},
             {}, {.Threaded = true});
  KORVANE_REQUIRE_FUSE(fs);
  const auto timed = [](const std::string& path, std::int64_t offset, std::size_t size) {
    const auto start = steady_clock::now();
    EXPECT_TRUE(ReadAt(path, offset, size).Data == Pattern(offset, size)) << path;
    return steady_clock::now() - start;
  };
  EXPECT_LT(timed(fs.PathOf("worn"), 0, 4096), milliseconds(500));
  steady_clock::duration held{};
  std::thread reader([&] { held = timed(fs.PathOf("worn"), 4000, 200); });
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_LT(timed(fs.PathOf("other"), 0, 10), milliseconds(500));
  reader.join();
  EXPECT_GE(held, milliseconds(900));
}

TEST(TestFs, NothingCanBeWrittenEvenByRoot) {
  TTestFs fs({{.Path = "file", .Size = 100}, {.Path = "dir/inner", .Size = 1}});
  KORVANE_REQUIRE_FUSE(fs);
  const std::string file = fs.PathOf("file");
  const std::string dir = fs.PathOf("dir");
  auto openResult = [](const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
    const int error = ErrorOf(fd);
    if (fd >= 0) close(fd);
    return error;
  };
  const std::pair<const char*, std::function<int()>> attempts[] = {
      {"create", [&] { return openResult(fs.PathOf("new"), O_WRONLY | O_CREAT); }},
      {"open for writing", [&] { return openResult(file, O_WRONLY); }},
      {"open read-write", [&] { return openResult(file, O_RDWR); }},
      {"open truncating", [&] { return openResult(file, O_RDONLY | O_TRUNC); }},
      {"mkdir", [&] { return ErrorOf(mkdir(fs.PathOf("newdir").c_str(), 0755)); }},
      {"unlink", [&] { return ErrorOf(unlink(file.c_str())); }},
      {"rmdir", [&] { return ErrorOf(rmdir(dir.c_str())); }},
      {"rename", [&] { return ErrorOf(rename(file.c_str(), fs.PathOf("moved").c_str())); }},
      {"truncate", [&] { return ErrorOf(truncate(file.c_str(), 0)); }},
      {"chmod", [&] { return ErrorOf(chmod(file.c_str(), 0600)); }},
      {"symlink", [&] { return ErrorOf(symlink("file", fs.PathOf("link").c_str())); }},
      {"utimensat", [&] { return ErrorOf(utimensat(AT_FDCWD, file.c_str(), nullptr, 0)); }},
      {"access W_OK", [&] { return ErrorOf(access(dir.c_str(), W_OK)); }},
  };
  for (const auto& [name, attempt] : attempts) EXPECT_EQ(attempt(), EACCES) << name;
  EXPECT_EQ(ErrorOf(access(file.c_str(), R_OK)), 0);
  EXPECT_EQ(ReadAt(file, 0, 1000).Data, Pattern(0, 100));
  EXPECT_EQ(List(fs.Root()), (std::set<std::string>{".", "..", "file", "dir"}));
}

TEST(TestFs, NestedDirectoriesListTheirEntries) {
  TTestFs fs({{.Path = "a/b/c.txt", .Size = 1}, {.Path = "a/d.txt", .Size = 2},
              {.Path = "top.txt", .Size = 3}, {.Path = ".hidden", .Size = 4}},
             {"e/f", "g"});
  KORVANE_REQUIRE_FUSE(fs);
  using TNames = std::set<std::string>;
  EXPECT_EQ(List(fs.Root()), (TNames{".", "..", "a", "top.txt", ".hidden", "e", "g"}));
  EXPECT_EQ(List(fs.PathOf("a")), (TNames{".", "..", "b", "d.txt"}));
  EXPECT_EQ(List(fs.PathOf("a/b")), (TNames{".", "..", "c.txt"}));
  EXPECT_EQ(List(fs.PathOf("e")), (TNames{".", "..", "f"}));
  EXPECT_EQ(List(fs.PathOf("e/f")), (TNames{".", ".."}));
  EXPECT_EQ(List(fs.PathOf("g")), (TNames{".", ".."}));
  EXPECT_EQ(List(fs.PathOf("top.txt")), (TNames{"<ENOTDIR>"}));
  EXPECT_EQ(List(fs.PathOf("missing")), (TNames{"<ENOENT>"}));
  struct stat st {};
  ASSERT_EQ(ErrorOf(stat(fs.PathOf("a/b").c_str(), &st)), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  ASSERT_EQ(ErrorOf(stat(fs.PathOf("a/d.txt").c_str(), &st)), 0);
  EXPECT_EQ(st.st_size, 2);
}

TEST(TestFs, MountsFromTwoThreadsAtOnceAndLeavesNothingBehind) {
  std::optional<TTestFs> first;
  std::optional<TTestFs> second;
  std::thread one([&] { first.emplace(std::vector<TTestFile>{{.Path = "x", .Content = "first"}}); });
  std::thread two([&] { second.emplace(std::vector<TTestFile>{{.Path = "x", .Content = "second"}}); });
  one.join();
  two.join();
  KORVANE_REQUIRE_FUSE(*first);
  KORVANE_REQUIRE_FUSE(*second);
  ASSERT_NE(first->Root(), second->Root());
  EXPECT_EQ(ReadAt(first->PathOf("x"), 0, 100).Data, "first");
  EXPECT_EQ(ReadAt(second->PathOf("x"), 0, 100).Data, "second");

  // A descriptor still open inside makes the plain unmount fail; the
  // helper must still get rid of the mount without hanging.
  const std::string firstRoot = first->Root();
  const std::string secondRoot = second->Root();
  const int busy = open(first->PathOf("x").c_str(), O_RDONLY);
  ASSERT_GE(busy, 0);
  first.reset();
  second.reset();
  char byte = 0;
  EXPECT_LT(read(busy, &byte, 1), 0);
  close(busy);
  for (const std::string& root : {firstRoot, secondRoot}) {
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(root).parent_path())) << root;
  }
}

TEST(TestFs, BrokenLayoutIsReportedInTheFilesystemsOwnWords) {
  TTestFs good({{.Path = "fine", .Size = 1}});
  KORVANE_REQUIRE_FUSE(good);
  const std::pair<std::vector<TTestFile>, std::string> broken[] = {
      {{{.Path = "x"}, {.Path = "x"}}, "'x' is named twice"},
      {{{.Path = "../outside"}}, "bad path '../outside'"},
      {{{.Path = "a//b"}}, "bad path 'a//b'"},
      {{{.Path = "f"}, {.Path = "f/g"}}, "'f' is a file, so it cannot hold 'f/g'"},
  };
  for (const auto& [files, message] : broken) {
    TTestFs fs(files);
    EXPECT_FALSE(fs.Mounted()) << message;
    EXPECT_FALSE(fs.FuseUnavailable()) << "a broken layout would only skip the test";
    EXPECT_NE(fs.MountError().find(message), std::string::npos) << fs.MountError();
  }
}

TEST(TestFs, TempDirBuildsAndRemovesItsTree) {
  std::string root;
  {
    TTempDir dir;
    root = dir.Path();
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root.front(), '/');
    EXPECT_NE(root.back(), '/');
    EXPECT_TRUE(dir.WriteFile("a/b/c.txt", std::string("x\0y", 3)));
    EXPECT_TRUE(dir.MakeDir("locked/inner"));
    EXPECT_TRUE(dir.WriteFile("locked/inner/f", "z"));
    EXPECT_EQ(ReadAt(dir.PathOf("a/b/c.txt"), 0, 10).Data, std::string("x\0y", 3));
    ASSERT_EQ(ErrorOf(chmod(dir.PathOf("locked").c_str(), 0)), 0);
    ASSERT_EQ(ErrorOf(symlink("/", dir.PathOf("root-link").c_str())), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_TRUE(std::filesystem::exists("/"));
}
