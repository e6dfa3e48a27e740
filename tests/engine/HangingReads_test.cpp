// A read that hangs in the kernel: skip file, skip directory and stop act at
// once, the read is left to finish on a thread of its own, the same file is
// never read twice at the same time, and nothing of the left read stays once
// it has returned.
#include <gtest/gtest.h>

#include <dirent.h>

#include <mutex>
#include <thread>

#include "File.h"
#include "Path.h"
#include "ReaderThread.h"
#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr std::int64_t MiB = 1 << 20;

struct TSeen {
  std::string Name;
  TFileOutcome Outcome;
  TClock::time_point At;
};

class TOutcomes : public TVerifyObserver {
 public:
  void FileFinished(const TFileRecord& record) override {
    std::lock_guard hold(Mutex);
    Seen.push_back({Platform::NamePart(record.Path), record.Outcome, TClock::now()});
  }
  std::vector<TSeen> Taken() {
    std::lock_guard hold(Mutex);
    return Seen;
  }

 private:
  std::mutex Mutex;
  std::vector<TSeen> Seen;
};

// A 4 MiB file whose read at 1 MiB is held, files beside and after it, and
// what a run over them needs.
struct THangingTree {
  explicit THangingTree(int holdMs)
      : Fs({{.Path = "d/hang.bin", .Size = 4 * MiB, .SlowRegions = {{MiB, MiB + 1, holdMs}}},
            {.Path = "d/next.bin", .Size = 1000},
            {.Path = "e/after.bin", .Size = 1000}},
           {}, {.Threaded = true}) {}
  TRunOptions Options() { return {.Observers = {&Outcomes}}; }

  TTestFs Fs;
  TTempDir Ini;
  TVerifySetupInfo Setup{Ini.PathOf("KORVANE.INI")};
  TVerifyStatus Status;
  TOutcomes Outcomes;
};

// Waits until the worker has been in one read for at least blocked.
void WaitUntilBlocked(const TVerifyStatus& status, TClock::duration blocked) {
  const auto limit = TClock::now() + 20s;
  while (TClock::now() < limit) {
    const std::int64_t started = status.ReadStartedAt.load();
    if (started != 0 && TClock::now() - TClock::time_point(TClock::duration(started)) >= blocked)
      return;
    std::this_thread::sleep_for(5ms);
  }
  FAIL() << "no read was blocked";
}

std::size_t EntriesOf(const char* directory) {
  std::size_t count = 0;
  if (DIR* dir = opendir(directory)) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

struct TProcessCounts {
  std::size_t Threads = EntriesOf("/proc/self/task");
  std::size_t Descriptors = EntriesOf("/proc/self/fd");
  bool operator==(const TProcessCounts&) const = default;
};

}  // namespace

TEST(HangingReads, SkipAndStopActAtOnce) {
  enum class TAction { SkipFile, SkipDirectory, Stop };
  const struct {
    TAction Action;
    TFileOutcome Hang;
    std::vector<std::string> Others;  // checked after it, all correct
  } cases[] = {{TAction::SkipFile, TFileOutcome::Skipped, {"next.bin", "after.bin"}},
               {TAction::SkipDirectory, TFileOutcome::DirectorySkipped, {"after.bin"}},
               {TAction::Stop, TFileOutcome::Stopped, {}}};
  for (const auto& c : cases) {
    THangingTree tree(60000);
    KORVANE_REQUIRE_FUSE(tree.Fs);
    tree.Setup.VerifyList = {tree.Fs.PathOf("d/*.*"), tree.Fs.PathOf("e/*.*")};
    TVerifyStatus& status = tree.Status;
    TVerifier verifier(status, tree.Setup, tree.Options());
    WaitUntilBlocked(status, c.Action == TAction::SkipFile ? 3s : 300ms);
    if (c.Action == TAction::SkipFile) {
      EXPECT_GE(TakeSnapshot(status).ReadStalledSeconds, 3) << "shown as stalled";
    }
    const auto asked = TClock::now();
    if (c.Action == TAction::SkipFile) status.SkipFile = true;
    if (c.Action == TAction::SkipDirectory) status.SkipDirectory = true;
    if (c.Action == TAction::Stop) verifier.Terminate();
    verifier.WaitFor();
    const std::vector<TSeen> seen = tree.Outcomes.Taken();
    ASSERT_EQ(seen.size(), 1 + c.Others.size()) << static_cast<int>(c.Action);
    EXPECT_EQ(seen[0].Name, "hang.bin");
    EXPECT_EQ(seen[0].Outcome, c.Hang);
    const auto acted = std::chrono::duration_cast<std::chrono::milliseconds>(seen[0].At - asked);
    EXPECT_LT(acted, 1s) << "left the read after " << acted.count() << " ms";
    std::cout << "action " << static_cast<int>(c.Action) << " acted after " << acted.count()
              << " ms\n";
    for (std::size_t i = 0; i < c.Others.size(); ++i) {
      EXPECT_EQ(seen[i + 1].Name, c.Others[i]);
      EXPECT_EQ(seen[i + 1].Outcome, TFileOutcome::Correct) << c.Others[i];
    }
    EXPECT_EQ(status.Stopped, c.Action == TAction::Stop);
    EXPECT_EQ(TakeSnapshot(status).ReadStalledSeconds, 0);
  }
}

// The same file named twice: its second check waits for the read the first
// left, then reads it through; afterwards no thread or descriptor remains.
TEST(HangingReads, ALeftReadEndsAndTheFileIsNeverReadTwiceAtOnce) {
  constexpr auto hold = 1500ms;
  THangingTree tree(static_cast<int>(hold.count()));
  KORVANE_REQUIRE_FUSE(tree.Fs);
  tree.Setup.VerifyList = {tree.Fs.PathOf("d/hang.bin"), tree.Fs.PathOf("d/hang.bin")};
  // A sanitizer's runtime starts a thread of its own with the process's
  // first new thread: it must be there before the count, not after.
  std::thread([] {}).join();
  // Nor is the process's descriptor directory, held from the first open on.
  Platform::TReadFile().Open(tree.Fs.PathOf("d/hang.bin"));
  const TProcessCounts before;
  {
    TVerifier verifier(tree.Status, tree.Setup, tree.Options());
    WaitUntilBlocked(tree.Status, 200ms);
    const auto blocked = TClock::now() - 200ms;
    tree.Status.SkipFile = true;
    verifier.WaitFor();
    const std::vector<TSeen> seen = tree.Outcomes.Taken();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Outcome, TFileOutcome::Skipped);
    EXPECT_EQ(seen[1].Outcome, TFileOutcome::Correct);
    // Its own held read after the left one had returned, not beside it.
    EXPECT_GE(seen[1].At - blocked, 2 * hold - 300ms);
  }
  TProcessCounts after;
  for (const auto limit = TClock::now() + 10s; !(after == before) && TClock::now() < limit;) {
    std::this_thread::sleep_for(20ms);
    after = {};
  }
  EXPECT_EQ(after.Threads, before.Threads);
  EXPECT_EQ(after.Descriptors, before.Descriptors);
}

// Reads left hanging on one drive hold back new reads there only: a file on
// another drive is read at once, one beside the hanging ones is not begun.
TEST(HangingReads, ReadsLeftOnOneDriveDoNotHoldBackAnother) {
  TTestFs fs({{.Path = "hang.bin", .Size = MiB, .SlowRegions = {{0, 1, 3000}}},
              {.Path = "beside.bin", .Size = 1000}},
             {}, {.Threaded = true});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir disk;
  ASSERT_TRUE(disk.WriteFile("sound.bin", std::string(1000, 's')));
  std::atomic<bool> leave = true;
  std::atomic<std::int64_t> startedAt{0};
  TReaderThread reader(AllocateReadBuffer(MiB), MiB, AllocateReadBuffer, {.MostLeft = 1},
                       [&] { return leave.load(); }, startedAt);
  std::int64_t done = 0;
  Platform::TReadFile hanging, beside, sound;
  ASSERT_EQ(hanging.Open(fs.PathOf("hang.bin")), 0);
  ASSERT_EQ(reader.Read(hanging, reader.Buffer(), MiB, done), ReadLeftBehind);

  ASSERT_EQ(beside.Open(fs.PathOf("beside.bin")), 0);
  EXPECT_EQ(reader.Read(beside, reader.Buffer(), 1000, done), ReadLeftBehind);
  EXPECT_TRUE(fs.ReadRanges("beside.bin").empty()) << "a read began beside the one left";

  leave = false;
  ASSERT_EQ(sound.Open(disk / "sound.bin"), 0);
  const auto asked = TClock::now();
  EXPECT_EQ(reader.Read(sound, reader.Buffer(), 1000, done), 0);
  EXPECT_EQ(done, 1000);
  EXPECT_LT(TClock::now() - asked, 1500ms) << "the other drive's read waited for the hanging one";
}

// An open that hangs (a dying disk's inode, a server gone quiet): skip,
// stop and the time limit act on it as on a read, and the run's end does
// not wait for the read-ahead helper held in the same open.
TEST(HangingReads, AnOpenThatHangsIsLeftLikeARead) {
  enum class TAction { SkipFile, Stop, TimeLimit };
  const struct {
    TAction Action;
    TFileOutcome Held;
  } cases[] = {{TAction::SkipFile, TFileOutcome::Skipped},
               {TAction::Stop, TFileOutcome::Stopped},
               {TAction::TimeLimit, TFileOutcome::OpenFailure}};
  for (const auto& c : cases) {
    TTestFs fs({{.Path = "held.bin", .Size = 1000, .OpenDelayMs = 60000},
                {.Path = "next.bin", .Size = 1000}},
               {}, {.Threaded = true});
    KORVANE_REQUIRE_FUSE(fs);
    TTempDir ini;
    TVerifySetupInfo setup{ini.PathOf("KORVANE.INI")};
    setup.VerifyList = {fs.PathOf("*.*")};
    TVerifyStatus status;
    TOutcomes outcomes;
    TRunOptions options{.Observers = {&outcomes}};
    if (c.Action == TAction::TimeLimit) options.ReadTimeout = 1s;
    const auto start = TClock::now();
    TVerifier verifier(status, setup, options);
    if (c.Action != TAction::TimeLimit) WaitUntilBlocked(status, 300ms);
    const auto asked = TClock::now();
    if (c.Action == TAction::SkipFile) status.SkipFile = true;
    if (c.Action == TAction::Stop) verifier.Terminate();
    verifier.WaitFor();
    const auto ended = TClock::now();
    const std::vector<TSeen> seen = outcomes.Taken();
    ASSERT_EQ(seen.size(), c.Action == TAction::Stop ? 1u : 2u) << static_cast<int>(c.Action);
    EXPECT_EQ(seen[0].Name, "held.bin");
    EXPECT_EQ(seen[0].Outcome, c.Held);
    EXPECT_LT(seen[0].At - asked, c.Action == TAction::TimeLimit ? 3s : 1s);
    EXPECT_LT(ended - start, 5s) << "the run's end waited for a held open";
    if (seen.size() > 1) {
      EXPECT_EQ(seen[1].Outcome, TFileOutcome::Correct);
    }
  }
}
