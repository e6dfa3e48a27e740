// korvane-cli driven through the real binary: exit statuses and messages,
// the log on standard output and in a file, signals, progress, settings.
#include <gtest/gtest.h>

#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "CliProcess.h"
#include "TempDir.h"
#include "TestFs.h"
#include "TextEncoding.h"
#include "VerifierUnit.h"

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Drops the last line after checking that it is the time, which depends on
// the clock.
Lines WithoutTime(Lines log) {
  EXPECT_FALSE(log.empty());
  if (log.empty()) return log;
  EXPECT_TRUE(log.back().starts_with("总计时间: ")) << log.back();
  log.pop_back();
  return log;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Names that are hard to carry: an emoji (outside GBK), bytes that are not
// UTF-8, Chinese, a subdirectory.
struct TNamesTree {
  TTempDir Dir;
  TNamesTree() {
    Dir.WriteFile("plain.txt", "hello");
    Dir.WriteFile("😀 emoji.txt", std::string(3000, 'e'));
    Dir.WriteFile("bad\xFF\xFEname.bin", "x");
    Dir.WriteFile("sub/中文.dat", std::string(70000, 'z'));
  }
  std::string Item() const { return Dir.Path() + "/*.*"; }
};

const Lines RunSwitches = {"-A", "-S", "-P512"};

// What the engine itself logs for the items with RunSwitches' options.
Lines EngineLog(const Lines& items) {
  TTempDir iniDir;
  TVerifyStatus status;
  TVerifySetupInfo setup(iniDir.PathOf("KORVANE.INI"));
  setup.AllFileAttributes = setup.AllSubdirectories = setup.PositionError = true;
  setup.ReadUnit = 512;
  setup.VerifyList = items;
  TVerifier(status, setup).WaitFor();
  return status.Log;
}

// Open for a while: the read-ahead helper holds a file open only for a
// moment, long before the worker reaches it.
void WaitUntilReading(const TCliProcess& cli, const std::string& path) {
  const auto limit = std::chrono::steady_clock::now() + 20s;
  const auto reading = [&] {
    if (!cli.HasOpen(path)) return false;
    std::this_thread::sleep_for(100ms);
    return cli.HasOpen(path);
  };
  while (!reading() && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(cli.HasOpen(path)) << "korvane-cli never opened " << path;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace

TEST(CliUsage, ExitStatusesAndMessages) {
  TTestFs fs({{.Path = "bad.bin", .Size = 3000, .ErrorAt = 1000}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  dir.WriteFile("good.txt", "hello");
  dir.WriteFile("-dash.txt", "x");
  const std::string good = dir.PathOf("good.txt"), bad = fs.PathOf("bad.bin");
  const struct {
    Lines Args;
    int Status;
    std::string Err, Out;  // parts each must contain
  } cases[] = {
      {{"-P1024", good}, 0, "korvane-cli: 正确 1, 错误 0", "     文件正确."},
      {{dir.PathOf("none*.x")}, 3, "正确 0, 错误 0", "   没有匹配文件."},
      {{good, bad}, 1, "正确 1, 错误 1", "     文件错误代码e=5"},
      {{"--", "-dash.txt"}, 0, "正确 1", "开始校验'-dash.txt'..."},
      {{"-P0", "-P-", good}, 0, "正确 1", "     文件正确."},
      {{"-dash.txt"}, 2, "korvane-cli: 命令行参数 -dash.txt 错误.", ""},
      {{"-x", "-Sq", bad}, 2, "命令行参数 -x 错误.\nkorvane-cli: 命令行参数 -Sq 错误.\n", ""},
      {{"-"}, 2, "命令行参数 - 错误.", ""},
      {{"-x\x1b[2J\n"}, 2, "korvane-cli: 命令行参数 -x\\x1B[2J\\x0A 错误.\n", ""},
      {{}, 2, "korvane-cli: 未选择校验文件.\n", ""},
      {{"-S", "", "--quiet"}, 2, "未选择校验文件.", ""},
      {{"-P0", bad}, 2, "读取单位 0 不在 1 至 1048576 之间.", ""},
      {{"-P1048577", bad}, 2, "读取单位 1048577 不在", ""},
      {{"--frobnicate", good}, 2, "无法识别的选项 '--frobnicate'", ""},
      {{"--log"}, 2, "选项 '--log' 需要一个文件名", ""},
      {{"--log", "", good}, 2, "选项 '--log' 需要一个文件名", ""},
      {{"--quiet=yes", good}, 2, "选项 '--quiet' 不允许有参数", ""},
      {{"--cached=no", good}, 2, "选项 '--cached' 不允许有参数", ""},
      {{"--log=" + dir.PathOf("no/dir/log.txt"), bad}, 2,
       "Cannot create file " + dir.PathOf("no/dir/log.txt") + ".", ""},
      {{"-H", bad}, 0, "", "  -H 或 -?      显示本窗口\n"},
      {{"--help", "-x"}, 0, "", "  -B, -BT, -C, -E, -L, -N, -R, -W  忽略这些参数"},
      {{"--version"}, 0, "", "Korvane3.1.1.7\n"},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const auto& a : c.Args) label += "[" + a + "]";
    TCliOptions options;
    options.WorkDir = dir.Path();
    const TCliResult r = RunCli(c.Args, options);
    EXPECT_EQ(r.ExitCode, c.Status) << label << "\n" << r.Err;
    EXPECT_TRUE(Contains(r.Err, c.Err)) << label << "\n" << r.Err;
    EXPECT_TRUE(Contains(r.Out, c.Out)) << label << "\n" << r.Out;
    // Bad usage ends the program before any run: no log at all.
    if (c.Status != 2) continue;
    EXPECT_EQ(r.Out, "") << label;
    if (!Contains(c.Err, "Cannot create")) {
      EXPECT_TRUE(Contains(r.Err, "--help")) << label;
    }
  }
}

TEST(CliOutput, StandardOutputIsTheEngineLog) {
  TTestFs fs({{.Path = "bad.bin", .Size = 3000, .ErrorAt = 1000}});
  KORVANE_REQUIRE_FUSE(fs);
  TNamesTree tree;
  const Lines items = {tree.Item(), fs.PathOf("bad.bin")};
  const TCliResult r = RunCli(Concat(RunSwitches, items));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(WithoutTime(SplitLines(r.Out)), WithoutTime(EngineLog(items)));
  // Names go out as the bytes they are, so a script can use them.
  EXPECT_TRUE(Contains(r.Out, "   文件'bad\xFF\xFEname.bin':\n"));
  // Standard error holds the summary and nothing else.
  const Lines err = SplitLines(r.Err);
  ASSERT_EQ(err.size(), 1u) << r.Err;
  EXPECT_TRUE(err[0].starts_with("korvane-cli: 正确 4, 错误 1, 忽略 0 个文件; 总计 73,006 字节; 用时 "))
      << err[0];
}

// The log shows a directory that could not be searched only as one without
// matching files, as designed; standard error names it with the system's
// code and text, and the status says the run was not all correct.
// Permissions do not bind root, so root runs the program as nobody.
TEST(CliOutput, DirectoriesThatCannotBeSearchedAreNamedOnStandardError) {
  TTempDir dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  dir.WriteFile("a.txt", "a");
  dir.WriteFile("locked/inside.txt", "b");
  ASSERT_EQ(chmod(dir.PathOf("locked").c_str(), 0), 0);
  const struct {
    std::string Directory, Mask, Code, Reason, Summary;
  } cases[] = {
      {dir.PathOf("locked"), "*.*", "13", "错误代码=13, 权限不够", "正确 1, 错误 0"},
      {dir.PathOf("missing"), "a.txt", "2", "错误代码=2, 没有那个文件或目录", "正确 0, 错误 0"},
  };
  for (const auto& c : cases) {
    const std::string item = (c.Mask == "*.*" ? dir.Path() : c.Directory) + "/" + c.Mask;
    Lines args = {"-S", "-A", item};
    TCliOptions options;
    if (geteuid() == 0) {
      options.Program = "/usr/bin/setpriv";
      args.insert(args.begin(),
                  {"--reuid=65534", "--regid=65534", "--clear-groups", KORVANE_CLI_PATH});
    }
    const TCliResult r = RunCli(args, options);
    EXPECT_EQ(r.ExitCode, 1) << item;
    const Lines err = SplitLines(r.Err);
    ASSERT_EQ(err.size(), 2u) << r.Err;
    EXPECT_EQ(err[0], "korvane-cli: 不能搜索目录'" + c.Directory + "': " + c.Reason);
    EXPECT_TRUE(err[1].starts_with("korvane-cli: " + c.Summary)) << err[1];
    const Lines log = SplitLines(r.Out);
    const std::string scanLine = "* 扫描'" + c.Directory + "/" + c.Mask + "',属性:'ARHS':";
    const auto scan = std::find(log.begin(), log.end(), scanLine);
    ASSERT_NE(scan, log.end()) << r.Out;
    // A failure block under the scan line, not a directory without matches.
    ASSERT_LT(scan + 3, log.end());
    EXPECT_EQ(*(scan + 1), "   不能搜索目录.");
    EXPECT_EQ(*(scan + 2), "     文件错误代码e=" + c.Code);
    EXPECT_TRUE(std::find(log.begin(), log.end(), "不能搜索目录.: " + c.Directory) != log.end());
  }
}

TEST(CliOutput, LogFileHoldsTheSameLinesInGb18030WithCrLf) {
  TNamesTree tree;
  TTempDir out;
  const std::string logPath = out.PathOf("log.txt");
  const TCliResult saved = RunCli(Concat(RunSwitches, {"--log=" + logPath, tree.Item()}));
  const TCliResult shown = RunCli(Concat(RunSwitches, {tree.Item()}));
  EXPECT_EQ(saved.ExitCode, 0);
  EXPECT_EQ(saved.Out, "");
  const std::string bytes = ReadBytes(logPath);
  EXPECT_TRUE(bytes.starts_with("Korvane3.1.1.7\xB0\xE6 ")) << "no byte-order mark, GBK text";
  EXPECT_TRUE(bytes.ends_with("\r\n"));
  EXPECT_EQ(CountOf(bytes, "\n"), CountOf(bytes, "\r\n")) << "every line ends in CR LF";
  EXPECT_TRUE(Contains(bytes, "\x94\x39\xFC\x36 emoji.txt")) << "the emoji in four GB18030 bytes";
  EXPECT_TRUE(Contains(bytes, "bad\x84\x31\xA4\x37\x84\x31\xA4\x37name.bin"));

  const auto decoded = Platform::Gb18030ToUtf8(bytes);
  ASSERT_TRUE(decoded.has_value());
  Lines expected;
  for (const auto& line : SplitLines(shown.Out)) expected.push_back(Platform::ReplaceInvalidUtf8(line));
  EXPECT_EQ(WithoutTime(SplitLines(*decoded, "\r\n")), WithoutTime(expected));
}

TEST(CliSignals, SigintOrSigtermStopsTheRunWithStatus130) {
  // Five reads of 900 ms each (a unit, then 1 MiB at a time): four seconds
  // unless the stop works.
  TTestFs fs({{.Path = "one.bin", .Size = 10}, {.Path = "slow.bin", .Size = 4 << 20, .DelayMs = 900}});
  KORVANE_REQUIRE_FUSE(fs);
  for (const int signal : {SIGINT, SIGTERM}) {
    TCliProcess cli({"-A", "-S-", "-P1024", fs.PathOf("one.bin"), fs.PathOf("slow.bin"),
                     fs.PathOf("one.bin")});
    WaitUntilReading(cli, fs.PathOf("slow.bin"));
    kill(cli.Pid(), signal);
    const auto sent = std::chrono::steady_clock::now();
    const TCliResult r = cli.Finish();
    EXPECT_EQ(r.ExitCode, 130) << strsignal(signal);
    EXPECT_LT(r.Ended - sent, 2s);
    const Lines log = WithoutTime(SplitLines(r.Out));
    const auto stopped = std::find(log.begin(), log.end(), "进程被用户中止.");
    ASSERT_NE(stopped, log.end()) << r.Out;
    EXPECT_EQ(*(stopped - 1), "     文件被跳过.");
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.starts_with("开始校验'"); }),
              2)
        << "the third item is never started";
    EXPECT_EQ(log.back(), "总计字节数: 10 字节");
    EXPECT_TRUE(Contains(r.Err, "; 进程被用户中止.")) << r.Err;
  }
}

TEST(CliSignals, SecondSigintEndsTheProgramAtOnce) {
  // One open that takes two seconds: the first SIGINT cannot end it early
  // (a read that hangs is left at once; an open is not).
  TTestFs fs({{.Path = "stuck.bin", .Size = 100, .OpenDelayMs = 2000}});
  KORVANE_REQUIRE_FUSE(fs);
  TCliProcess cli({"-P-", fs.PathOf("stuck.bin")});
  WaitUntilReading(cli, fs.PathOf("stuck.bin"));
  kill(cli.Pid(), SIGINT);
  std::this_thread::sleep_for(200ms);
  int status = 0;
  EXPECT_EQ(waitpid(cli.Pid(), &status, WNOHANG), 0) << "the first SIGINT must not end it";
  kill(cli.Pid(), SIGINT);
  const TCliResult r = cli.Finish();
  // Dead of the signal, without the closing log that a stop would give. (When
  // it dies cannot be measured here: the kernel holds a dying process until
  // the FUSE open it is in has been answered.)
  EXPECT_EQ(r.Signal, SIGINT) << "exit code " << r.ExitCode;
  EXPECT_EQ(r.Out.find("小计:"), std::string::npos) << r.Out;
}

TEST(CliProgress, OnlyOnATerminalAndAtMostTenTimesASecond) {
  // Two reads of 600 ms (a unit, then the rest at once on a medium that
  // slow to answer): about 1.2 seconds of progress. Answered on threads, so
  // that the counting walk's look-up is not held behind a read and the
  // count is complete while the file is read.
  TTestFs fs({{.Path = "slow.bin", .Size = 120 * 1024, .DelayMs = 600}}, {}, {.Threaded = true});
  KORVANE_REQUIRE_FUSE(fs);
  const std::string clearLine = "\r\x1b[K";
  const struct {
    bool Terminal, Quiet, Shown;
  } cases[] = {{true, false, true}, {true, true, false}, {false, false, false}};
  for (const auto& c : cases) {
    Lines args = {"-P1024", fs.PathOf("slow.bin")};
    if (c.Quiet) args.push_back("--quiet");
    const auto start = std::chrono::steady_clock::now();
    TCliOptions options;
    options.ErrorToTerminal = c.Terminal;
    const TCliResult r = RunCli(args, options);
    const double seconds = std::chrono::duration<double>(r.Ended - start).count();
    EXPECT_EQ(r.ExitCode, 0);
    const std::size_t clears = CountOf(r.Err, clearLine);
    const std::string label = std::string(c.Terminal ? "terminal" : "pipe") + (c.Quiet ? " quiet" : "");
    if (!c.Shown) {
      EXPECT_EQ(clears, 0u) << label;
      continue;
    }
    // Each refresh starts with the erase sequence; one more erases the
    // line before the summary.
    const std::size_t refreshes = clears - 1;
    EXPECT_GE(refreshes, 3u) << label;
    EXPECT_LE(static_cast<double>(refreshes), seconds * 10 + 1) << label;
    EXPECT_TRUE(Contains(r.Err, "/120.0 KiB 0/1 个文件 ")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "slow.bin")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, clearLine + "korvane-cli: 正确 1")) << "summary on a clean line";
  }
}

TEST(CliOpen, ItemsAsAFileManagerMeansThem) {
  TTempDir tree;
  tree.WriteFile("照片 2026/a.jpg", "jpeg");
  tree.WriteFile("照片 2026/sub/b.jpg", "deeper");
  tree.WriteFile("-notes.txt", "n");
  TCliOptions options;
  options.WorkDir = tree.Path();
  const TCliResult r = RunCli({"-S-", "--open", tree / "照片 2026", "-notes.txt",
                               tree / "照片 2026/sub/b.jpg"}, options);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  for (const std::string& item : {tree / "照片 2026/*.*", std::string("-notes.txt"),
                                 tree / "照片 2026/sub/b.jpg"})
    EXPECT_TRUE(Contains(r.Out, "开始校验'" + item + "'...")) << item << "\n" << r.Out;
  EXPECT_TRUE(Contains(r.Err, "正确 3, 错误 0")) << r.Err;
}

TEST(CliSettings, KorvaneIniBesideTheProgramThenTheSwitches) {
  // The failing unit's position shows the read unit in use.
  TTestFs fs({{.Path = "bad.bin", .Size = 10, .ErrorAt = 5}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir programDir, tree;
  const std::string program = programDir.PathOf("korvane-cli");
  std::filesystem::copy_file(KORVANE_CLI_PATH, program);
  programDir.WriteFile("KORVANE.INI",
                       "[Korvane 3.1]\nSearch all subdirectories=0\nSearch all file attributes=1\n"
                       "Indicates error position=1\nBytes read per process=2\n");
  tree.WriteFile("top.txt", "t");
  tree.WriteFile("sub/deep.txt", "d");
  const struct {
    Lines Switches;
    bool Deep;
    std::string Position;
  } cases[] = {
      {{}, false, "4"}, {{"-S"}, true, "4"}, {{"-P-"}, false, "0"}, {{"-P3", "-S-"}, false, "3"}};
  TCliOptions options;
  options.Program = program;
  for (const auto& c : cases) {
    const TCliResult r = RunCli(Concat(c.Switches, {tree.Path() + "/*.*", fs.PathOf("bad.bin")}), options);
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "   文件'top.txt':"));
    EXPECT_EQ(Contains(r.Out, "   文件'deep.txt':"), c.Deep) << c.Switches.size();
    EXPECT_TRUE(Contains(r.Out, "不能读文件,错误位置在" + c.Position + "字节处.")) << r.Out;
  }
}

TEST(CliOutput, ControlCharactersInNamesAreEscapedEverywhere) {
  // A name with a line feed could otherwise forge a line of its own.
  const Lines names = {"forged\n     文件正确.", "cr\r.txt", "del\x7f.txt", "c1\xc2\x9b.txt"};
  const std::string slow = "slow\x1b[2J\n.bin";  // read long enough to show in the progress
  std::vector<TTestFile> files = {{.Path = slow, .Size = 30 * 1024, .DelayMs = 300},
                                  {.Path = "bad\x1b.bin", .Size = 10, .ErrorAt = 5}};
  for (const std::string& name : names) files.push_back({.Path = name, .Content = "x"});
  TTestFs fs(files);
  KORVANE_REQUIRE_FUSE(fs);
  TCliOptions terminal;
  terminal.ErrorToTerminal = true;
  const TCliResult shown = RunCli({"-P1024", fs.Root() + "/*"}, terminal);
  TTempDir out;
  const TCliResult saved = RunCli({"-P1024", "--log=" + out.PathOf("log.txt"), fs.Root() + "/*"});
  EXPECT_EQ(shown.ExitCode, 1);
  EXPECT_EQ(saved.ExitCode, 1);

  const Lines log = SplitLines(shown.Out);
  auto isControl = [](char c) { return (c >= 0 && c < 0x20) || c == 0x7f; };
  for (const std::string& line : log)
    EXPECT_EQ(std::count_if(line.begin(), line.end(), isControl), 0) << line;
  EXPECT_EQ(std::count(log.begin(), log.end(), "     文件正确."), 5);
  for (const char* escaped : {"forged\\x0A     文件正确.", "cr\\x0D.txt", "del\\x7F.txt",
                              "c1\\x9B.txt", "slow\\x1B[2J\\x0A.bin"}) {
    EXPECT_TRUE(Contains(shown.Out, "   文件'" + std::string(escaped) + "':\n")) << escaped;
  }
  EXPECT_TRUE(Contains(shown.Out, ": " + fs.Root() + "/bad\\x1B.bin\n")) << "error list";
  const std::string bytes = ReadBytes(out.PathOf("log.txt"));
  EXPECT_EQ(CountOf(bytes, "\n"), CountOf(bytes, "\r\n"));
  const auto decoded = Platform::Gb18030ToUtf8(bytes);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(WithoutTime(SplitLines(*decoded, "\r\n")), WithoutTime(log));
  // The progress line shows the name escaped, and no sequence but its own.
  EXPECT_TRUE(Contains(shown.Err, "slow\\x1B[2J")) << shown.Err;
  EXPECT_FALSE(Contains(shown.Err, "\x1b[2J"));
}

TEST(CliOutput, LocalesThatAreNotUtf8StillGiveUtf8Lines) {
  TTempDir dir;
  dir.WriteFile("big.bin", std::string(1234567, 'b'));
  const struct {
    const char* Locale;
    std::string Bytes, TimeStart;
  } cases[] = {
      {"zh_CN.GBK", "总计字节数: 1,234,567 字节", "总计时间: 00时00分0"},
      {"fr_FR.ISO-8859-1", "总计字节数: 1\u00a0234\u00a0567 字节", "总计时间: 00:00:0"},
  };
  for (const auto& c : cases) {
    const locale_t installed = newlocale(LC_ALL_MASK, c.Locale, static_cast<locale_t>(0));
    if (!installed) GTEST_SKIP() << c.Locale << " is not installed (scripts/setup.sh makes it)";
    freelocale(installed);
    TCliOptions options;
    options.Locale = c.Locale;
    const TCliResult r = RunCli({"--log=" + dir.PathOf("log.txt"), dir.PathOf("big.bin")}, options);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    const auto decoded = Platform::Gb18030ToUtf8(ReadBytes(dir.PathOf("log.txt")));
    ASSERT_TRUE(decoded.has_value());
    const Lines log = SplitLines(*decoded, "\r\n");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], c.Bytes) << c.Locale;
    EXPECT_TRUE(log.back().starts_with(c.TimeStart)) << c.Locale << ": " << log.back();
  }
}

TEST(CliProgress, WideNamesNeverOverflowAnEightyColumnTerminal) {
  std::string rockets;
  for (int i = 0; i < 60; ++i) rockets += "🚀";
  TTestFs fs({{.Path = rockets, .Size = 40 * 1024, .DelayMs = 300}});
  KORVANE_REQUIRE_FUSE(fs);
  TCliOptions options;
  options.ErrorToTerminal = true;
  const TCliResult r = RunCli({"-P1024", fs.PathOf(rockets)}, options);
  EXPECT_EQ(r.ExitCode, 0);
  // Columns as a terminal counts them: ASCII and "…" one, the rest (Chinese,
  // the rocket) two.
  auto columns = [](const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      if (byte < 0x80) ++width;
      else if (byte >= 0xC0) width += text.compare(i, 3, "…") == 0 ? 1 : 2;
    }
    return width;
  };
  Lines drawn = SplitLines(r.Err, "\r\x1b[K");
  ASSERT_GE(drawn.size(), 3u) << r.Err;
  drawn.pop_back();  // the summary
  for (const std::string& line : drawn) EXPECT_LE(columns(line), 79u) << line;
  EXPECT_TRUE(Contains(r.Err, "🚀🚀🚀")) << r.Err;
}
