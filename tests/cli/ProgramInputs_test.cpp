// What korvane-cli reads of its own: a state to resume from and checksum
// files must be regular files, read in bounded memory, and a state is
// trusted only on the very file system it was made on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "BenchUtil.h"
#include "CliProcess.h"
#include "TempDir.h"
#include "TestUtil.h"

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

void AppendLongLine(const std::string& path) {
  std::ofstream(path, std::ios::app) << std::string(std::size_t{2} << 20, 'x') << "\n";
}

}  // namespace

// A FIFO without a writer would block the open; a device could be endless.
TEST(ProgramInputs, OnlyRegularFilesAreReadAndLongLinesArePassedOver) {
  TTempDir dir;
  ASSERT_TRUE(dir.WriteFile("data/a.bin", "abc"));
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string item = dir / "data/*.*";
  for (const std::string& input : {dir / "fifo", std::string("/dev/zero"), dir / "data"}) {
    for (const std::string option : {"--resume=", "--check-sums="}) {
      const TCliResult run = RunCli({option + input, "-S-", item});
      EXPECT_EQ(run.ExitCode, 2) << option << input;
      EXPECT_NE(run.Err.find(input), std::string::npos) << run.Err;
    }
  }

  // A checksum file with a line of 2 MiB: the other lines still count.
  ASSERT_TRUE(dir.WriteFile("data/SHA256SUMS",
                            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  a.bin\n"));
  AppendLongLine(dir / "data/SHA256SUMS");
  const TCliResult sums = RunCli({"--check-sums=" + dir / "data/SHA256SUMS"});
  EXPECT_EQ(sums.ExitCode, 0) << sums.Err;
  EXPECT_NE(sums.Err.find("SHA256SUMS:2: 行超过 1 MiB, 已略过"), std::string::npos) << sums.Err;

  // A state with such a line: the records before it (a.bin, SHA256SUMS)
  // are resumed.
  const std::vector<std::string> resume = {"--resume=" + dir / "state", "-S-", item, dir / "gone/*.*"};
  ASSERT_EQ(RunCli(resume).ExitCode, 1);
  AppendLongLine(dir / "state");
  const TCliResult resumed = RunCli(resume);
  EXPECT_EQ(resumed.ExitCode, 1) << resumed.Err;
  EXPECT_NE(resumed.Err.find("1 行超过 1 MiB, 已略过"), std::string::npos) << resumed.Err;
  EXPECT_NE(resumed.Err.find("状态文件记有 2 个已校验的文件"), std::string::npos) << resumed.Err;
}

namespace {

// An ext4 image with two files, mounted at a directory of the test's.
class TImage {
 public:
  TImage(const TTempDir& dir, const std::string& name) : Path(dir / name) {}
  static bool Shell(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
  }
  bool Make() const { return Shell("truncate -s 16M '" + Path + "' && mkfs.ext4 -q '" + Path + "'"); }
  // A byte copy with a UUID of its own, as a clone given one by tune2fs.
  bool CloneTo(const TImage& clone) const {
    return Shell("cp '" + Path + "' '" + clone.Path + "' && e2fsck -fy '" + clone.Path +
                 "' && tune2fs -U random '" + clone.Path + "'");
  }
  bool Mount(const std::string& at) {
    Point = at;
    return Mounted = Shell("mount -o loop '" + Path + "' '" + at + "'");
  }
  void Unmount() {
    if (Mounted) Shell("umount '" + Point + "'");
    Mounted = false;
  }
  ~TImage() { Unmount(); }

  const std::string Path;

 private:
  bool Mounted = false;
  std::string Point;
};

}  // namespace

// The state is made on one disk; a copy of it, same inodes and times but
// another UUID, is mounted where the disk was. On the disk itself every
// file is replayed, on the copy none.
TEST(ProgramInputs, AStateIsNotReplayedOnACopyOfTheDisk) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount disk images";
  TTempDir dir;
  TImage disk(dir, "disk.img"), copy(dir, "copy.img");
  ASSERT_EQ(mkdir((dir / "mnt").c_str(), 0755), 0);
  if (!disk.Make() || !disk.Mount(dir / "mnt")) GTEST_SKIP() << "cannot make or mount an ext4 image here";
  ASSERT_TRUE(dir.WriteFile("mnt/a.bin", "abc"));
  ASSERT_TRUE(dir.WriteFile("mnt/b.bin", "defg"));
  const std::vector<std::string> resume = {"--resume=" + dir / "state", "-S-", dir / "mnt/*.*",
                                           dir / "unplugged/*.*"};
  ASSERT_EQ(RunCli(resume).ExitCode, 1);
  disk.Unmount();
  ASSERT_TRUE(disk.CloneTo(copy));
  const auto recordsAfter = [&](TImage& image) {
    EXPECT_TRUE(image.Mount(dir / "mnt"));
    const TCliResult run = RunCli(resume);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    image.Unmount();
    return Count(TestUtil::ReadFile(dir / "state"), "\"path_b64\"");
  };
  EXPECT_EQ(recordsAfter(disk), 2u) << "the disk's own files replayed";
  EXPECT_EQ(recordsAfter(copy), 4u) << "both files of the copy read";
}

// Each walk kept every level's whole path: memory in the square of the
// depth, 200 MB here. Sanitizers keep freed memory aside, which this
// measure would count.
TEST(ProgramInputs, ADeepTreeCostsMemoryInItsDepthOnly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's own memory would be measured";
#endif
  TTempDir dir;
  const std::string name(60, 'd');
  int fd = open(dir.PathOf("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < 1500; ++level) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  close(openat(fd, "bottom.bin", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  close(fd);
  const long flat = PeakKib(KORVANE_CLI_PATH, {"-S", "-P-", dir / "nothing-*.none"});
  const long deep = PeakKib(KORVANE_CLI_PATH, {"-S", "-P-", dir / "*.*"});
  EXPECT_LT(deep - flat, 24 * 1024) << "KiB over a run over nothing";
  // Deeper than a path the system takes: rm goes down level by level.
  EXPECT_EQ(std::system(("rm -rf '" + dir / name + "'").c_str()), 0);
}
