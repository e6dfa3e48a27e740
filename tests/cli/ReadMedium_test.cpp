// A check must read the medium, not the copy of the data that the system's
// cache still holds: korvane_testfs in its caching mode counts the reads
// that reach it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "CliProcess.h"
#include "SystemError.h"
#include "TestFs.h"

using Lines = std::vector<std::string>;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Reads the whole file as a copy program would, leaving it in the cache.
void WarmUp(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  char buffer[65536];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
}

}  // namespace

TEST(ReadMedium, EveryCheckReachesTheMediumUnlessCachedIsAsked) {
  for (const bool cached : {false, true}) {
    TTestFs fs({{.Path = "good.bin", .Size = 3000}}, {}, {.KernelCache = true});
    KORVANE_REQUIRE_FUSE(fs);
    const std::string file = fs.PathOf("good.bin");
    Lines args = {"-S-", "-P1024", file, file};
    if (cached) args.insert(args.begin(), "--cached");
    const TCliResult r = RunCli(args);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    const int reads = fs.ReadsServed("good.bin");
    if (cached) EXPECT_EQ(reads, 1) << "the second check must come from the cache";
    else EXPECT_GE(reads, 2) << "both checks must reach the filesystem";
  }
}

// The point of reading the medium: a file copied a moment ago, whose
// medium can no longer return it, still sits in the cache. Read from the
// cache it passes; read from the medium it fails at its first unit.
TEST(ReadMedium, MediumGoneBadAfterTheCopyIsFoundOnlyWhenTheMediumIsRead) {
  const struct {
    bool Cached;
    int Status;
    std::string Expected;
  } cases[] = {
      {false, 1,
       "     不能读文件,错误位置在0字节处.\n     文件错误代码e=5\n     系统错误信息=" +
           Platform::SystemErrorText(5) + "\n"},
      {true, 0, "     长度: 3,000 字节\n     文件正确.\n"},
  };
  for (const auto& c : cases) {
    TTestFs fs({{.Path = "worn.bin", .Size = 3000, .GoodReads = 1}}, {}, {.KernelCache = true});
    KORVANE_REQUIRE_FUSE(fs);
    WarmUp(fs.PathOf("worn.bin"));
    ASSERT_EQ(fs.ReadsServed("worn.bin"), 1) << "the warm-up is the medium's one good read";
    Lines args = {"-S-", "-P1024", fs.PathOf("worn.bin")};
    if (c.Cached) args.insert(args.begin(), "--cached");
    const TCliResult r = RunCli(args);
    EXPECT_EQ(r.ExitCode, c.Status) << (c.Cached ? "--cached" : "default") << "\n" << r.Err;
    EXPECT_TRUE(Contains(r.Out, c.Expected))
        << (c.Cached ? "--cached" : "default") << "\n" << r.Out;
  }
}
