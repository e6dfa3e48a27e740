// The counting walk's totals are what the run then reads: the same files
// for literal items, missing items and checksum-file runs as for a walk.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CountingWalk.h"
#include "SumsCheck.h"
#include "TempDir.h"
#include "VerifierUnit.h"

namespace {

// The files a run has checked, and their listed bytes.
class TReadTotals : public TVerifyObserver {
 public:
  void FileFinished(const TFileRecord& record) override {
    if (record.Outcome == TFileOutcome::SearchFailure) return;
    ++Files;
    Bytes += record.Size;
  }
  std::int64_t Files = 0;
  std::int64_t Bytes = 0;
};

struct TCountCase {
  const char* Name;
  std::vector<std::string> Items;  // relative to the tree; empty: the manifest's
  bool Literal = false;
  bool WithManifest = false;
};

}  // namespace

TEST(CountingWalk, TotalsAreWhatTheRunReads) {
  TTempDir dir;
  // "a*b" is a file's own name: as a mask it would match "aXb" too.
  // Listed: two files in the tree, one outside it and one that is missing.
  for (const auto& [name, size] : std::vector<std::pair<std::string, std::size_t>>{
           {"tree/a*b", 10}, {"tree/aXb", 20}, {"tree/sub/a*b", 30}, {"tree/sub/c.txt", 40},
           {"tree/.hidden", 50}, {"outside.txt", 60}})
    ASSERT_TRUE(dir.WriteFile(name, std::string(size, 'x')));
  const std::string digest(64, '0');
  std::string manifest;
  for (const char* name : {"a*b", "sub/c.txt", "../outside.txt", "gone.txt"})
    manifest += digest + "  " + name + "\n";
  ASSERT_TRUE(dir.WriteFile("tree/SHA256SUMS", manifest));
  const std::vector<TCountCase> cases = {
      {"walk", {"tree/*"}},
      {"literal item", {"tree/a*b"}, true},
      {"missing item", {"tree/gone.txt"}},
      {"manifest without items", {}, false, true},
      {"manifest and items", {"tree/sub/*"}, false, true},
  };
  for (const TCountCase& c : cases) {
    TSumsCheck sums;
    TVerifySetupInfo setup(dir / "KORVANE.INI");
    setup.AllSubdirectories = true;
    setup.AllFileAttributes = true;
    for (const std::string& item : c.Items) {
      setup.VerifyList.push_back(dir / item);
      if (c.Literal) setup.LiteralItems.insert(dir / item);
    }
    if (c.WithManifest) sums.AddManifest(dir / "tree/SHA256SUMS", ParseManifest(manifest));
    if (c.WithManifest && c.Items.empty()) {
      sums.SetListedOnly(true);
      setup.VerifyList = sums.ManifestItems();
    }
    TContentCheck* contents = c.WithManifest ? &sums : nullptr;

    TVerifyStatus counted;
    std::stop_source stop;
    {
      TCountingWalk count(TCountPlan{setup.VerifyList, setup.LiteralItems, true,
                                     FileSearchAttributes(true), contents},
                          counted, stop.get_token());
      for (int i = 0; i < 1000 && !counted.CountComplete; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(counted.CountComplete) << c.Name;

    TVerifyStatus status;
    TReadTotals read;
    TVerifier run(status, setup,
                  {.Cached = true, .Contents = contents, .Count = false, .Observers = {&read}});
    run.WaitFor();
    EXPECT_EQ(counted.CountedFiles, read.Files) << c.Name;
    EXPECT_EQ(counted.CountedBytes, read.Bytes) << c.Name;
  }
}
