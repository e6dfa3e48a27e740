// korvane-cli over ext4 on a loop device whose image fails one 4 KiB
// block, served by the project's FUSE test file system: the page cache
// now stands between the reads and the medium, and the positions must be
// the medium's all the same.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "CliProcess.h"
#include "Locale.h"
#include "ReportCheck.h"
#include "TempDir.h"
#include "TestFs.h"

namespace {

constexpr std::int64_t Block = 4096;
constexpr std::int64_t BadAt = 818 * Block;  // 3,350,528 in the file
constexpr std::int64_t FileSize = 8 << 20;

// What the command wrote to standard output; nothing when it failed.
std::optional<std::string> Output(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  if (pclose(pipe) != 0) return std::nullopt;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// An ext4 image holding file.bin, served with the block under BadAt failing,
// set up on a loop device and mounted read-only. Why() says what was
// missing when it could not be had.
class TBadBlockDisk {
 public:
  TBadBlockDisk() : Missing(SetUp()) {}
  ~TBadBlockDisk() {
    if (Mounted) Output("umount '" + Dir.PathOf("mnt") + "'");
    if (!Loop.empty()) Output("losetup -d " + Loop);
  }
  const std::string& Why() const { return Missing; }
  std::string File() const { return Dir.PathOf("mnt/file.bin"); }
  std::string ReportPath(const std::string& name) const { return Dir.PathOf(name); }

 private:
  // What was missing; empty once the disk is mounted.
  std::string SetUp() {
    if (geteuid() != 0) return "loop devices need root";
    std::string data(FileSize, '\0');
    for (std::int64_t i = 0; i < FileSize; ++i) data[i] = TestFsByte(i);
    Dir.WriteFile("data.bin", data);
    const std::string image = Dir.PathOf("disk.img");
    if (!Output("truncate -s 32M '" + image + "' && mkfs.ext4 -q -F -b 4096 '" + image +
                "' && debugfs -w -R 'write " + Dir.PathOf("data.bin") + " file.bin' '" + image + "'"))
      return "mkfs.ext4 or debugfs failed";
    const auto block = Output("debugfs -R 'bmap file.bin " + std::to_string(BadAt / Block) +
                              "' '" + image + "'");
    if (!block || block->empty()) return "debugfs bmap failed";
    const std::int64_t at = std::stoll(*block) * Block;
    Fs.emplace(std::vector<TTestFile>{
        {.Path = "disk.img", .BadRanges = {{at, at + Block}}, .Source = image}});
    if (!Fs->Mounted()) return "FUSE: " + Fs->MountError();
    const auto loop = Output("losetup -r --show -f '" + Fs->PathOf("disk.img") + "'");
    if (!loop) return "no loop device";
    Loop = *loop;
    Dir.MakeDir("mnt");
    if (!Output("mount -o ro,noload " + Loop + " '" + Dir.PathOf("mnt") + "'"))
      return "mount of " + Loop + " failed";
    Mounted = true;
    return "";
  }

  TTempDir Dir;
  std::optional<TTestFs> Fs;
  std::string Loop;
  bool Mounted = false;
  std::string Missing;
};

std::string PositionText(std::int64_t at) {
  return "错误位置在" + Platform::FormatCount(at) + "字节处";
}

}  // namespace

TEST(BlockDevice, BadBlockPlacedExactlyAndAMappedFileNeverPasses) {
  TBadBlockDisk disk;
  if (!disk.Why().empty()) GTEST_SKIP() << disk.Why();
  for (const std::int64_t unit : {512, 4096, 65536}) {
    const TCliResult r = RunCli({"-P" + std::to_string(unit), disk.File()});
    EXPECT_EQ(r.ExitCode, 1) << unit;
    EXPECT_NE(r.Out.find(PositionText(BadAt / unit * unit)), std::string::npos)
        << unit << "\n" << r.Out;
  }
  const std::string report = disk.ReportPath("all.jsonl");
  RunCli({"--all-errors", "-P512", "--report=" + report, disk.File()});
  const nlohmann::json file = OfType(ValidReport(report), "file").at(0);
  EXPECT_EQ(file["bad_ranges"], nlohmann::json::parse(R"([{"offset":3350528,"length":4096,"code":5}])"));

  // Pages another process maps cannot leave the cache: the check reads past
  // them or fails the file, never passes it from memory.
  const int fd = open(disk.File().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  void* const mapped = mmap(nullptr, 2 << 20, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  const TCliResult r = RunCli({"-P4096", disk.File()});
  munmap(mapped, 2 << 20);
  close(fd);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out.find("文件正确."), std::string::npos) << r.Out;
}
