// korvane-cli with checksum files: the real binary over real trees, the
// FUSE test filesystem for a failing medium, and coreutils' own checkers
// as the judges of what --make-sums writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "CliProcess.h"
#include "TempDir.h"
#include "TestFs.h"

using Lines = std::vector<std::string>;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::string Md5Abc = "900150983cd24fb0d6963f7d28e17f72";
const std::string Sha1Abc = "a9993e364706816aba3e25717850c26c9cd0d89d";
const std::string Sha256Abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// Output and status of a shell command.
std::pair<std::string, int> Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {out, -1};
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return {out, pclose(pipe)};
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The log without its last line, the time, which depends on the clock.
std::string WithoutTime(const std::string& log) {
  const auto last = log.rfind("总计时间: ");
  return last == std::string::npos ? log : log.substr(0, last);
}

TCliResult RunIn(const TTempDir& dir, const Lines& args) {
  TCliOptions options;
  options.WorkDir = dir.Path();
  return RunCli(args, options);
}

}  // namespace

// good.txt holds "abc" and is listed so; bad.txt holds "abd" and is listed
// with the digest of "abc"; missing.txt is listed and absent; extra.txt is
// present and unlisted.
TEST(CheckSums, EachFormatTellsGoodMismatchingMissingAndUnlisted) {
  const auto listing = [](const std::string& pattern) {
    std::string text;
    for (const char* name : {"good.txt", "bad.txt", "missing.txt"}) {
      std::string line = pattern;
      line.replace(line.find("NAME"), 4, name);
      text += line + "\n";
    }
    return text;
  };
  const struct {
    std::string Manifest, Text, Algorithm, Expected;
  } cases[] = {
      {"SHA256SUMS", listing(Sha256Abc + "  ./NAME"), "SHA256", Sha256Abc},
      {"md5sum.txt", listing(Md5Abc + " *NAME"), "MD5", Md5Abc},
      {"x.sha1", listing("SHA1 (NAME) = " + Sha1Abc), "SHA1", Sha1Abc},
      {"x.sfv", "; made by a tool\n" + listing("NAME 352441C2"), "CRC32", "352441c2"},
      {"x.hashdeep",
       "%%%% HASHDEEP-1.0\n%%%% size,md5,sha256,filename\n" +
           listing("3," + Md5Abc + "," + Sha256Abc + ",NAME"),
       "MD5", Md5Abc},
  };
  for (const auto& c : cases) {
    TTempDir dir;
    dir.WriteFile("d/good.txt", "abc");
    dir.WriteFile("d/bad.txt", "abd");
    dir.WriteFile("d/sub/extra.txt", "e");
    dir.WriteFile("d/" + c.Manifest, c.Text);
    const TCliResult r = RunIn(dir, {"--quiet", "--check-sums=d/" + c.Manifest});
    EXPECT_EQ(r.ExitCode, 1) << c.Manifest << r.Err;
    EXPECT_TRUE(Contains(r.Out, "   文件'good.txt':\n     长度: 3 字节\n     文件正确.\n"))
        << r.Out;
    const std::string mismatch = "文件内容与校验和不符.(" + c.Algorithm + ")";
    EXPECT_TRUE(Contains(r.Out, "     长度: 3 字节\n     " + mismatch +
                                    "\n     校验和应为=" + c.Expected + "\n     实际校验和="))
        << r.Out;
    EXPECT_TRUE(Contains(r.Out, "\n" + mismatch + ": d/bad.txt\n    校验和应为=" + c.Expected))
        << "the error list";
    EXPECT_TRUE(Contains(r.Out,
                         "   文件'missing.txt':\n     长度: 0 字节\n     不能打开文件.\n"
                         "     文件错误代码e=2\n"))
        << r.Out;
    EXPECT_TRUE(Contains(r.Err, "未列入校验和文件: d/sub/extra.txt\n")) << r.Err;
    EXPECT_FALSE(Contains(r.Err, c.Manifest)) << "the manifest itself is not a data file";
    EXPECT_FALSE(Contains(r.Out, "extra.txt")) << "an unlisted file is not read";
    EXPECT_TRUE(Contains(r.Err, "正确 1, 错误 2, 忽略 0 个文件")) << r.Err;
  }
}

// A manifest saved on Windows with a byte-order mark, an escaped name and a
// line no tool wrote; then the same manifest with items given, where every
// file of the items is read and only the listed ones are compared.
TEST(CheckSums, HardManifestAndItemsGiven) {
  TTempDir dir;
  const std::string odd = "new\nline\\back";
  dir.WriteFile("d/" + odd, "abc");
  dir.WriteFile("d/plain", "abc");
  dir.WriteFile("d/other.bin", "xyz");
  dir.WriteFile("d/SUMS", "\xEF\xBB\xBF" + Sha256Abc + "  plain\r\n\r\nnot a checksum line\r\n\\" +
                              Sha256Abc + "  new\\nline\\\\back\r\n");
  const TCliResult alone = RunIn(dir, {"--quiet", "--check-sums=d/SUMS"});
  EXPECT_EQ(alone.ExitCode, 0) << alone.Err << alone.Out;
  EXPECT_TRUE(Contains(alone.Err, "korvane-cli: d/SUMS:3: 不能识别的行\n")) << alone.Err;
  EXPECT_TRUE(
      Contains(alone.Out, "   文件'new\\x0Aline\\back':\n     长度: 3 字节\n     文件正确."));
  EXPECT_TRUE(Contains(alone.Err, "正确 2, 错误 0")) << alone.Err;

  const TCliResult items = RunIn(dir, {"--quiet", "--check-sums=d/SUMS", "d/*"});
  EXPECT_EQ(items.ExitCode, 0) << items.Err;
  EXPECT_TRUE(Contains(items.Out, "   文件'other.bin':\n     长度: 3 字节\n     文件正确."))
      << items.Out;
  EXPECT_TRUE(Contains(items.Err, "未列入校验和文件: d/other.bin\n")) << items.Err;
  EXPECT_TRUE(Contains(items.Err, "正确 4, 错误 0"))
      << "the manifest is read as a file of the item";

  // Checksum files that cannot be read, checked by or written end the program
  // before any read.
  dir.WriteFile("d/empty.md5", "# nothing\n\n");
  const struct {
    std::string Option, Err;
  } unusable[] = {{"--check-sums=d/none", "不能读校验和文件'd/none'"},
                  {"--check-sums=d/empty.md5", "中没有校验和"},
                  {"--make-sums=no/dir/SUMS", "不能写校验和文件'no/dir/SUMS': "}};
  for (const auto& c : unusable) {
    const TCliResult r = RunIn(dir, {c.Option, "d/*"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_TRUE(Contains(r.Err, c.Err)) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
}

// With items, a listed file that is not there fails where the items' walk
// would have met it (mask, subdirectories, hidden names), and is named on
// standard error. Without items, a folder no listed file lies in may be
// one that cannot be searched.
TEST(CheckSums, ListedFilesMissingUnderTheItems) {
  TTempDir dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  dir.WriteFile("d/good.txt", "abc");
  std::string manifest;
  for (const char* name : {"good.txt", "gone.txt", "sub/gone.txt", ".gone.txt", "gone.bin"})
    manifest += Sha256Abc + "  " + name + "\n";
  dir.WriteFile("d/SUMS", manifest);
  const struct {
    Lines Items;
    Lines Missing;
  } cases[] = {
      {{"-S-", "-A-", "d/*.txt"}, {"d/gone.txt"}},
      {{"-S", "-A-", "d/*.txt"}, {"d/gone.txt", "d/sub/gone.txt"}},
      {{"-S-", "-A", "d/*.*"}, {"d/gone.txt", "d/.gone.txt", "d/gone.bin"}},
      {{"-S-", "d/good.txt"}, {}},
  };
  const Lines all = {"d/gone.txt", "d/sub/gone.txt", "d/.gone.txt", "d/gone.bin"};
  for (const auto& c : cases) {
    Lines args = {"--quiet", "--check-sums=d/SUMS"};
    args.insert(args.end(), c.Items.begin(), c.Items.end());
    const TCliResult r = RunIn(dir, args);
    EXPECT_EQ(r.ExitCode, c.Missing.empty() ? 0 : 1) << c.Items.back() << r.Err;
    for (const std::string& path : all) {
      const bool missing = std::ranges::find(c.Missing, path) != c.Missing.end();
      EXPECT_EQ(Contains(r.Err, "'" + path + "': 没有那个文件或目录"), missing) << path << r.Err;
      EXPECT_EQ(Contains(r.Out, "不能打开文件.: " + path + "\n"), missing) << path;
    }
  }

  // Searched as nobody: the folder it may not enter holds no listed file.
  dir.WriteFile("e/good.txt", "abc");
  dir.WriteFile("e/SUMS", Sha256Abc + "  good.txt\n");
  dir.MakeDir("e/locked");
  ASSERT_EQ(chmod(dir.PathOf("e/locked").c_str(), 0), 0);
  const TCliResult locked = RunCli({"--reuid=65534", "--regid=65534", "--clear-groups",
                                    KORVANE_CLI_PATH, "--quiet", "--check-sums=" + dir.PathOf("e/SUMS")},
                                   {.Program = "/usr/bin/setpriv"});
  EXPECT_EQ(locked.ExitCode, 0) << locked.Err;
  EXPECT_TRUE(Contains(locked.Err, "正确 1, 错误 0")) << locked.Err;
}

// 128 digits: BLAKE2b where the name says so, otherwise SHA-512, but a
// file that matches as BLAKE2b is never called a mismatch.
TEST(CheckSums, Blake2bOrSha512ByTheName) {
  TTempDir dir;
  dir.WriteFile("abc.txt", "abc");
  const auto inDir = [&](const std::string& command) {
    return Shell("cd " + Quoted(dir.Path()) + " && " + command).first;
  };
  const std::string b2 = inDir("b2sum abc.txt"), sha512 = inDir("sha512sum abc.txt");
  ASSERT_EQ(b2.size(), 128u + 2 + 7 + 1);
  const struct {
    std::string Manifest, Text;
    bool Assumed;
  } cases[] = {
      {"B2SUMS", b2, false},
      {"x.b2", b2, false},
      {"tagged.txt", inDir("b2sum --tag abc.txt"), false},
      {"CHECKSUMS", b2, true},
      {"CHECKSUMS", sha512, true},
  };
  for (const auto& c : cases) {
    dir.WriteFile(c.Manifest, c.Text);
    const TCliResult r = RunIn(dir, {"--quiet", "--check-sums=" + c.Manifest, "abc.txt"});
    EXPECT_EQ(r.ExitCode, 0) << c.Manifest << r.Err << r.Out;
    EXPECT_EQ(Contains(r.Err, "未标明算法: 按 SHA512 核对"), c.Assumed) << c.Manifest << r.Err;
  }
  // Named as b2sum's, a SHA-512 digest is the wrong one.
  dir.WriteFile("B2SUMS", sha512);
  EXPECT_EQ(RunIn(dir, {"--quiet", "--check-sums=B2SUMS", "abc.txt"}).ExitCode, 1);
}

// A medium that fails under a listed file: the read failure is what is
// wrong with it, not its contents.
TEST(CheckSums, ReadFailureIsReportedNotAMismatch) {
  TTestFs fs({{.Path = "bad.bin", .Size = 3000, .ErrorAt = 1000}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  dir.WriteFile("SHA256SUMS", Sha256Abc + "  " + fs.PathOf("bad.bin") + "\n");
  const TCliResult r = RunIn(dir, {"--quiet", "-P512", "--check-sums=SHA256SUMS"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Contains(r.Out, "     不能读文件,错误位置在512字节处.\n     文件错误代码e=5\n"))
      << r.Out;
  EXPECT_FALSE(Contains(r.Out, "校验和不符")) << r.Out;
}

// Files the manifest does not list are passed over, and the read-ahead
// helper must still know where the worker is: otherwise every listed file
// after them is dropped again and comes from the medium twice.
TEST(CheckSums, EachListedFileIsReadFromTheMediumOnce) {
  const Lines listed = {"x1", "x2", "x3", "x4", "x5", "x6"};
  std::string manifest;
  for (const std::string& name : listed) manifest += Sha256Abc + "  " + name + "\n";
  std::vector<TTestFile> files = {{.Path = "0-unlisted", .Content = "u"},
                                  {.Path = "SUMS", .Content = manifest}};
  for (const std::string& name : listed) files.push_back({.Path = name, .Content = "abc"});
  TTestFs fs(files, {}, {.KernelCache = true});
  KORVANE_REQUIRE_FUSE(fs);
  const TCliResult r = RunCli({"--quiet", "--check-sums=" + fs.PathOf("SUMS")});
  EXPECT_EQ(r.ExitCode, 0) << r.Err << r.Out;
  for (const std::string& name : listed) EXPECT_EQ(fs.ReadsServed(name), 1) << name;
}

// A stopped run read only part of the files: a manifest of those would pass
// for a list of all of them, so none is written and the old one stays.
TEST(MakeSums, StoppedRunLeavesTheOldManifest) {
  TTestFs fs(
      {{.Path = "a.bin", .Size = 4096}, {.Path = "slow.bin", .Size = 1 << 20, .DelayMs = 50}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  dir.WriteFile("SUMS", "old\n");
  TCliOptions options;
  options.WorkDir = dir.Path();
  TCliProcess cli({"--quiet", "-P4096", "--make-sums=SUMS", fs.Root() + "/*"}, options);
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!cli.HasOpen(fs.PathOf("slow.bin")) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(cli.Pid(), SIGINT);
  const TCliResult r = cli.Finish();
  EXPECT_EQ(r.ExitCode, 130) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "校验被中止, 未写校验和文件'SUMS'")) << r.Err;
  const auto [old, status] = Shell("cat " + Quoted(dir.PathOf("SUMS")));
  EXPECT_EQ(old, "old\n");
}

// What --make-sums writes, coreutils' checkers accept as it is; the log is
// the one a run without it writes; a second run does not list the old
// manifest, which it replaces.
TEST(MakeSums, CoreutilsAcceptWhatIsWritten) {
  TTempDir dir;
  const Lines names = {"with space.txt", "中文 名字.txt", "new\nline", "back\\slash", "sub/深/x"};
  for (std::size_t i = 0; i < names.size(); ++i)
    dir.WriteFile("d/" + names[i], std::string(i * 1000, 'q'));
  // Holes are passed over, not read: their zeros must still be hashed.
  const auto [sparseOut, sparseStatus] =
      Shell("cd " + Quoted(dir.PathOf("d")) + " && truncate -s 8M sparse && " +
            "printf data | dd of=sparse bs=1 seek=3000000 conv=notrunc status=none");
  ASSERT_EQ(sparseStatus, 0) << sparseOut;
  // Units of 512 bytes: every file but the empty one is hashed across reads.
  const TCliResult plain = RunIn(dir, {"--quiet", "-S", "-P512", "d/*"});
  const struct {
    std::string Manifest, Checker;
  } cases[] = {{"SHA256SUMS", "sha256sum"},
               {"md5sum.txt", "md5sum"},
               {"x.sha512", "sha512sum"},
               {"b.sha256", "cksum -a sha256"}};
  for (const auto& c : cases) {
    for (int run = 0; run < 2; ++run) {
      const TCliResult r =
          RunIn(dir, {"--quiet", "-S", "-P512", "--make-sums=d/" + c.Manifest, "d/*"});
      EXPECT_EQ(r.ExitCode, 0) << r.Err;
      // Before any manifest lies in the tree, the log is that of a plain run.
      if (&c == &cases[0] && run == 0) {
        EXPECT_EQ(WithoutTime(r.Out), WithoutTime(plain.Out));
      }
      const auto [out, status] = Shell("cd " + Quoted(dir.PathOf("d")) + " && " + c.Checker +
                                       " --strict -c " + c.Manifest + " 2>&1");
      EXPECT_EQ(status, 0) << c.Manifest << ":\n" << out;
      const Lines checked = SplitLines(out);
      EXPECT_GE(checked.size(), names.size()) << out;
      for (const std::string& line : checked) EXPECT_TRUE(line.ends_with(": OK")) << line;
      EXPECT_FALSE(Contains(out, c.Manifest + ":")) << "a manifest never lists itself";
    }
  }
  // The formats coreutils does not read, read back by korvane-cli itself.
  for (const char* type : {"crc32", "xxh128"}) {
    const TCliResult made = RunIn(
        dir, {"--quiet", "-S", "--sum-type=" + std::string(type), "--make-sums=d/own.sums", "d/*"});
    EXPECT_EQ(made.ExitCode, 0) << made.Err;
    const TCliResult back = RunIn(dir, {"--quiet", "--check-sums=d/own.sums"});
    EXPECT_EQ(back.ExitCode, 0) << type << back.Out << back.Err;
  }
}
