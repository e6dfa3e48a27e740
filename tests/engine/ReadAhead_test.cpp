// Reading ahead may make a run faster, never different: the same log, the
// same counts, the same error positions, with pauses, skips and a stop in
// the middle; it never opens a file the run will not check, and it never
// makes the medium deliver a file twice.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

// Requests made when the worker begins a file, as a user's clicks would be.
using TScript = std::map<std::string, std::function<void(TVerifyStatus&, TVerifier&)>>;

struct TOutcome {
  Lines Log;
  Lines ErrorList;
  std::vector<std::int64_t> Counts;
};

// Runs the items to the end, answering the script's files as the worker
// announces them. Slow files give the script time to act within the file.
// before acts on the status before the run starts.
TOutcome RunItems(const Lines& items, TRunOptions options, const TScript& script = {},
                  const std::function<void(TVerifyStatus&)>& before = {}) {
  TTempDir dir;
  TVerifyStatus status;
  TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
  setup.AllFileAttributes = false;
  setup.AllSubdirectories = true;
  setup.PositionError = true;
  setup.ReadUnit = 1024;
  setup.VerifyList = items;
  if (before) before(status);
  TVerifier verifier(status, setup, options);
  std::set<std::string> done;
  while (!status.Idle || !status.Finished) {
    std::string file;
    {
      TMutexLock hold(status.Mutex);
      file = status.CurrentFile;
    }
    const auto action = script.find(file);
    if (action != script.end() && done.insert(file).second) action->second(status, verifier);
    std::this_thread::sleep_for(1ms);
  }
  verifier.WaitFor();
  TOutcome outcome{status.Log, status.ErrorList,
                   {status.FilesOk, status.FilesError, status.FilesSkipped, status.DirsSkipped,
                    status.TotalBytes}};
  outcome.Log.pop_back();  // the run time
  return outcome;
}

std::vector<TTestFile> MixedTree() {
  std::vector<TTestFile> files;
  for (const std::string dir : {"a/", "a/sub/", "b/", "b/deep/er/", "c/"}) {
    files.push_back({.Path = dir + "good.bin", .Size = 5000});
    files.push_back({.Path = dir + "bad.bin", .Size = 5000, .ErrorAt = 2100});
    files.push_back({.Path = dir + "locked.bin", .Size = 300, .DenyOpen = true});
    files.push_back({.Path = dir + "short.bin", .Size = 5000, .ActualSize = 3000});
    files.push_back({.Path = dir + ".hidden.bin", .Size = 100});
    files.push_back({.Path = dir + "note.txt", .Size = 100});
    for (int i = 0; i < 6; ++i)
      files.push_back({.Path = dir + "f" + std::to_string(i) + ".bin", .Size = 700 * i});
  }
  const std::string anchors[] = {"a/skip-file.bin", "a/sub/skip-dir.bin", "b/pause.bin",
                                 "b/deep/er/stop.bin"};
  for (const std::string& anchor : anchors)
    files.push_back({.Path = anchor, .Size = 8192, .DelayMs = 40});
  files.push_back({.Path = "a/sub/after-skip.bin", .Size = 10});
  files.push_back({.Path = "a/sub/below/never.bin", .Size = 10});
  return files;
}

}  // namespace

TEST(ReadAhead, ChangesNothingVisible) {
  TTestFs fs(MixedTree());
  KORVANE_REQUIRE_FUSE(fs);
  const Lines items = {fs.Root() + "/*.bin", fs.PathOf("b/*.*")};
  const TScript disturbed = {
      {"skip-file.bin", [](TVerifyStatus& s, TVerifier&) { s.SkipFile = true; }},
      {"skip-dir.bin", [](TVerifyStatus& s, TVerifier&) { s.SkipDirectory = true; }},
      {"pause.bin",
       [](TVerifyStatus& s, TVerifier&) {
         s.SetPaused(true);
         std::this_thread::sleep_for(150ms);
         s.SetPaused(false);
       }},
      {"stop.bin", [](TVerifyStatus&, TVerifier& v) { v.Terminate(); }},
  };
  for (const TScript& script : {TScript{}, disturbed}) {
    const TOutcome ahead = RunItems(items, {}, script);
    const TOutcome alone = RunItems(items, {.ReadAhead = false}, script);
    const std::string label = script.empty() ? "undisturbed" : "with skips, a pause and a stop";
    EXPECT_EQ(ahead.Log, alone.Log) << label;
    EXPECT_EQ(ahead.ErrorList, alone.ErrorList) << label;
    EXPECT_EQ(ahead.Counts, alone.Counts) << label;
    // The script must really have acted, or the runs prove little.
    const bool stopped =
        std::find(ahead.Log.begin(), ahead.Log.end(), "进程被用户中止.") != ahead.Log.end();
    EXPECT_EQ(stopped, !script.empty()) << label;
    if (!script.empty()) {
      EXPECT_EQ(ahead.Counts[3], 1) << "directories skipped";
    }
  }
  // Hidden files and the other mask's are never opened, not even ahead.
  for (const std::string& path : fs.OpenedFiles()) {
    const bool checked = path.ends_with(".bin") || path.starts_with("b/");
    EXPECT_TRUE(checked && path.find("/.") == std::string::npos) << path;
  }
}

// With the kernel caching the filesystem's data, every checked file must be
// fetched from the filesystem once after the warm-up: at least once, or the
// check read the cache; at most once, or the worker threw away what was
// read ahead. Skipping a directory must not throw the two sides out of step.
TEST(ReadAhead, EachFileComesFromTheMediumExactlyOnce) {
  std::vector<TTestFile> files;
  for (const std::string dir : {"a/", "a/in/", "b/", "b/in/", "c/"}) {
    for (int i = 0; i < 12; ++i)
      files.push_back({.Path = dir + "f" + std::to_string(i), .Size = 1000});
  }
  TTestFs fs(files, {}, {.KernelCache = true});
  KORVANE_REQUIRE_FUSE(fs);
  for (const TTestFile& file : files) {
    const int fd = open(fs.PathOf(file.Path).c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[1000];
    ASSERT_EQ(read(fd, buffer, sizeof buffer), 1000) << file.Path;
    close(fd);
  }
  // Asked before the run starts, the skip takes effect at the first file,
  // whenever the helper gets there.
  const TOutcome outcome = RunItems({fs.PathOf("a/*"), fs.PathOf("b/*"), fs.PathOf("c/*")}, {}, {},
                                    [](TVerifyStatus& s) { s.SkipDirectory = true; });
  for (const TTestFile& file : files) {
    if (file.Path.starts_with("a/")) continue;  // skipped, or read ahead before the skip
    EXPECT_EQ(fs.ReadsServed(file.Path), 2) << file.Path;
  }
  EXPECT_EQ(outcome.Counts, (std::vector<std::int64_t>{36, 0, 1, 1, 36000}));
}
