// korvane-cli under hostile conditions: where the log goes, a full disk
// under a log rewritten in place, items that name nothing, a closed
// terminal, few descriptors, a terminal that is not UTF-8.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <thread>

#include "CliProcess.h"
#include "DeepTree.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TestUtil.h"
#include "TextEncoding.h"

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

constexpr uid_t Nobody = 65534;

// A small file system of its own, for a disk that is full.
class TSmallDisk {
 public:
  explicit TSmallDisk(const std::string& size) : Mount(Dir.PathOf("disk")) {
    Dir.MakeDir("disk");
    chmod(Dir.Path().c_str(), 0755);
    Mounted = mount("tmpfs", Mount.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~TSmallDisk() {
    if (Mounted) umount2(Mount.c_str(), MNT_DETACH);
  }
  TTempDir Dir;
  std::string Mount;
  bool Mounted = false;
};

}  // namespace

// A descriptor's name is written through that descriptor, in its own mode:
// appended to the file the shell opened, never replacing it; a FIFO's
// reader gets the whole log.
TEST(CliHostile, LogDestinationsThatAreNotPlainFiles) {
  TTempDir dir;
  dir.WriteFile("a.txt", "a");
  const std::string item = dir.PathOf("a.txt"), history = dir.PathOf("history.log");
  const std::string expected = [&] {
    const TCliResult r = RunCli({"--log=" + dir.PathOf("plain.log"), item});
    return TestUtil::ReadFile(dir.PathOf("plain.log"));
  }();
  const std::string header = "Korvane3.1.1.7\xB0\xE6";
  for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    dir.WriteFile("history.log", "yesterday\n");
    const TCliResult appended =
        RunShell("exec \"$0\" \"$@\" >> " + history, {"--log=" + name, item});
    EXPECT_EQ(appended.ExitCode, 0) << name << appended.Err;
    const std::string kept = TestUtil::ReadFile(history);
    EXPECT_TRUE(kept.starts_with("yesterday\n" + header)) << name << ": " << kept.substr(0, 40);
    EXPECT_EQ(kept.size(), 10 + expected.size()) << name;
    const TCliResult piped = RunCli({"--log=" + name, item});
    EXPECT_TRUE(piped.Out.starts_with(header)) << name;
    EXPECT_EQ(piped.Out.size(), expected.size()) << name;
  }
  const std::string fifo = dir.PathOf("log.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  auto reader = std::async(std::launch::async, [&] { return TestUtil::ReadFile(fifo); });
  while (!TestUtil::RunInChild([&] {  // a reader is there once a writer can open
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    return fd >= 0 ? (close(fd), 0) : 1;
  }) == 0) {
    std::this_thread::sleep_for(5ms);
  }
  // The probe's open and close gave the reader an end of file: start again.
  reader.wait();
  reader = std::async(std::launch::async, [&] { return TestUtil::ReadFile(fifo); });
  std::this_thread::sleep_for(50ms);
  const TCliResult r = RunCli({"--log=" + fifo, item});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
  const std::string got = reader.get();
  EXPECT_TRUE(got.starts_with(header));
  EXPECT_EQ(got.size(), expected.size());
  // Without a reader, or on a descriptor open for reading only (standard
  // input is /dev/null here), the run is refused before it starts.
  for (const std::string& refused : {fifo, std::string("/dev/stdin")}) {
    const TCliResult alone = RunCli({"--log=" + refused, item});
    EXPECT_EQ(alone.ExitCode, 2) << refused;
    EXPECT_TRUE(Contains(alone.Err, "Cannot create file " + refused + ".")) << alone.Err;
    EXPECT_FALSE(Contains(alone.Out + alone.Err, "正确")) << refused << ": a run was made";
  }
}

// A log rewritten where its directory refuses new files: the space for the
// new log is reserved first, so a full disk leaves the old log whole. A
// log replaced by root keeps its owner, group and mode, and leaves no
// temporary file behind.
TEST(CliHostile, RewrittenLogsSurviveAFullDiskAndKeepTheirOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount and to change owners";
  TSmallDisk disk("256k");
  if (!disk.Mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string logs = disk.Mount + "/logs", log = logs + "/run.log";
  ASSERT_EQ(mkdir(logs.c_str(), 0755), 0);
  const std::string old = "the old log\r\n";
  TestUtil::WriteFile(log, old);
  ASSERT_EQ(chown(log.c_str(), Nobody, Nobody), 0);
  ASSERT_EQ(chmod(log.c_str(), 0600), 0);
  TTempDir data;
  ASSERT_EQ(chmod(data.Path().c_str(), 0755), 0);
  for (int i = 0; i < 200; ++i) data.WriteFile("f" + std::to_string(i) + ".txt", "x");
  const Lines asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", KORVANE_CLI_PATH};
  const auto runAsNobody = [&] {
    Lines args = asNobody;
    args.insert(args.end(), {"--log=" + log, data.Path() + "/*.*"});
    return RunCli(args, {.Program = "/usr/bin/setpriv"});
  };
  // Full: the filler takes every block there is.
  const int filler = open((disk.Mount + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
  const std::string block(4096, 'f');
  while (write(filler, block.data(), block.size()) > 0) {
  }
  close(filler);
  const TCliResult full = runAsNobody();
  EXPECT_EQ(full.ExitCode, 2);
  EXPECT_TRUE(Contains(full.Err, "Stream write error.")) << full.Err;
  EXPECT_EQ(TestUtil::ReadFile(log), old) << "the old log must stay whole";
  // With room, the same run rewrites it in place.
  ASSERT_EQ(unlink((disk.Mount + "/filler").c_str()), 0);
  const TCliResult fits = runAsNobody();
  EXPECT_EQ(fits.ExitCode, 0) << fits.Err;
  EXPECT_TRUE(Contains(TestUtil::ReadFile(log), "f199.txt"));
  // Root, in a directory it may write, replaces the file: same owner and mode.
  EXPECT_EQ(RunCli({"--log=" + log, data.Path() + "/*.*"}).ExitCode, 0);
  struct stat info {};
  ASSERT_EQ(stat(log.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, Nobody);
  EXPECT_EQ(info.st_gid, Nobody);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(Names(logs), std::set<std::string>{"run.log"});
}

// Items that name nothing are failures; a directory named alone stands for
// its files; a path given with --open is that file alone.
TEST(CliHostile, ItemsThatNameNothingADirectoryOrOneFile) {
  TTempDir dir;
  for (const char* p : {"d/one.txt", "d/two.txt", "op/a.txt", "op/sub/a.txt", "lit/a*b.txt", "lit/aXb.txt"})
    dir.WriteFile(p, "1");
  const std::string missing = dir.PathOf("missing.txt");
  const struct {
    Lines Args;
    int Status;
    std::string Err, Out;
  } cases[] = {
      {{missing}, 1, "korvane-cli: '" + missing + "': 没有那个文件或目录\n", "   没有匹配文件."},
      {{"--open", missing}, 1, "'" + missing + "': 没有那个文件或目录", "   没有匹配文件."},
      {{dir.PathOf("d")}, 0, "正确 2, 错误 0", "开始校验'" + dir.PathOf("d") + "/*.*'..."},
      {{"-S", "--open", dir.PathOf("op/a.txt")}, 0, "正确 1, 错误 0", "   文件'a.txt':"},
      {{"-S", "--open", dir.PathOf("lit/a*b.txt")}, 0, "正确 1, 错误 0", "   文件'a*b.txt':"},
  };
  for (const auto& c : cases) {
    const TCliResult r = RunCli(c.Args);
    EXPECT_EQ(r.ExitCode, c.Status) << c.Args.back() << r.Err;
    EXPECT_TRUE(Contains(r.Err, c.Err)) << r.Err;
    EXPECT_TRUE(Contains(r.Out, c.Out)) << r.Out;
  }
}

// A closed terminal ends the run as a stop does: the log with its stop
// line and totals is written, and the status says it was the hang-up.
TEST(CliHostile, HangUpWritesTheLogAndEnds129) {
  TTestFs fs({{.Path = "slow.bin", .Size = 64 * 1024, .DelayMs = 100}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir out;
  TCliProcess cli({"-P1024", "--log=" + out.PathOf("log.txt"), fs.PathOf("slow.bin")});
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (!cli.HasOpen(fs.PathOf("slow.bin")) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(5ms);
  kill(cli.Pid(), SIGHUP);
  const TCliResult r = cli.Finish();
  EXPECT_EQ(r.ExitCode, 129) << r.Err;
  const auto log = Platform::Gb18030ToUtf8(TestUtil::ReadFile(out.PathOf("log.txt")));
  ASSERT_TRUE(log.has_value());
  EXPECT_TRUE(Contains(*log, "进程被用户中止.\r\n"));
  EXPECT_TRUE(Contains(*log, "总计校验文件数: 1\r\n"));
  // A run killed outright leaves the old log and nothing beside it.
  TCliProcess killed({"-P1024", "--log=" + out.PathOf("log.txt"), fs.PathOf("slow.bin")});
  while (!killed.HasOpen(fs.PathOf("slow.bin")) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(5ms);
  kill(killed.Pid(), SIGKILL);
  EXPECT_EQ(killed.Finish().Signal, SIGKILL);
  EXPECT_EQ(Names(out.Path()), std::set<std::string>{"log.txt"});
  EXPECT_EQ(Platform::Gb18030ToUtf8(TestUtil::ReadFile(out.PathOf("log.txt"))), log);
}

// Few descriptors: the walk keeps within the process's limit and gives
// descriptors back rather than failing a readable file.
TEST(CliHostile, ADeepTreeUnderADescriptorLimitOf32LosesNoFile) {
  TTempDir dir;
  const TDeepTree tree(dir.Path(), 1500, 1);
  const TCliResult r = RunShell("ulimit -n 32 && exec \"$0\" \"$@\" > /dev/null",
                                {"-S", "-A", dir.Path() + "/*.*"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "正确 1,500, 错误 0")) << r.Err;
}

// Messages on standard error come in the terminal's codeset.
TEST(CliHostile, MessagesFollowTheLocalesCodeset) {
  const locale_t installed = newlocale(LC_ALL_MASK, "zh_CN.GBK", static_cast<locale_t>(0));
  if (!installed) GTEST_SKIP() << "zh_CN.GBK is not installed (scripts/setup.sh makes it)";
  freelocale(installed);
  TTempDir dir;
  const std::string missing = dir.PathOf("缺少.txt");
  const TCliResult r = RunCli({missing}, {.Locale = "zh_CN.GBK"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Contains(r.Err, Platform::Utf8ToGb18030("'" + missing + "': 没有那个文件或目录\n")))
      << r.Err;
  EXPECT_TRUE(Contains(r.Err, Platform::Utf8ToGb18030("korvane-cli: 正确 0, 错误 0")));
}
