// A check going on from where an interrupted one stopped ends as one from
// the start, holes and failing units included, reading nothing before.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <tuple>

#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

namespace {

constexpr std::int32_t Unit = 4096;

// Takes the run's one file record and its progress notes; hands on SoFar
// as the record of a file an earlier run read part of.
class TPartRead : public TVerifyObserver, public TFinishedFiles {
 public:
  void FileFinished(const TFileRecord& record) override { Record = record; }
  void FileProgress(const TFileRecord& soFar) override { Progress.push_back(soFar.StoppedAt); }
  std::optional<TFileRecord> Find(const std::string&, const Platform::TFileIdentity&) const override {
    return std::nullopt;
  }
  std::optional<TFileRecord> PartRead(const std::string&, const Platform::TFileIdentity&) const override {
    return SoFar;
  }
  std::optional<TFileRecord> SoFar;
  TFileRecord Record;
  std::vector<std::int64_t> Progress;
};

void Check(const std::string& path, bool allErrors, TPartRead& run) {
  TTempDir ini;
  TVerifySetupInfo setup(ini.PathOf("KORVANE.INI"));
  setup.PositionError = true;
  setup.ReadUnit = Unit;
  setup.VerifyList = {path};
  TVerifyStatus status;
  TVerifier(status, setup, TRunOptions{.AllErrors = allErrors, .Observers = {&run}, .Finished = &run})
      .WaitFor();
}

auto Found(const TFileRecord& r) {
  return std::tuple(r.Outcome, r.ErrorPosition, r.ErrorCode, r.BadRanges, r.BytesRead);
}

// What the check from the start had found before at (no bad range spans it).
TFileRecord FoundBefore(TFileRecord soFar, std::int64_t at) {
  std::erase_if(soFar.BadRanges, [at](const TBadRange& range) { return range.Offset >= at; });
  const bool failed = !soFar.BadRanges.empty();
  soFar.Outcome = failed ? TFileOutcome::ReadFailure : TFileOutcome::Stopped;
  soFar.ErrorPosition = failed ? soFar.BadRanges[0].Offset : 0;
  soFar.ErrorCode = failed ? soFar.BadRanges[0].Code : 0;
  soFar.StoppedAt = at;
  // The failed units are no bytes read.
  soFar.BytesRead = at;
  for (const TBadRange& range : soFar.BadRanges) soFar.BytesRead -= range.Length;
  return soFar;
}

}  // namespace

TEST(PartRead, GoesOnToTheRecordOfACheckFromTheStart) {
  // 200 MiB of holes but for a byte every 32 MiB and the last one.
  TTempDir dir;
  const std::string sparse = dir.PathOf("sparse.bin");
  const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  for (off_t at = 0; at < off_t{200} << 20; at += off_t{32} << 20) ASSERT_EQ(pwrite(fd, "x", 1, at), 1);
  ASSERT_EQ(pwrite(fd, "x", 1, (off_t{200} << 20) - 1), 1);
  close(fd);
  TTestFs fs({{.Path = "bad.bin", .Size = 400000, .BadRanges = {{50000, 60000}, {300000, 310000}}}});
  KORVANE_REQUIRE_FUSE(fs);
  const std::string bad = fs.PathOf("bad.bin");
  struct TCase {
    std::string Path;
    bool AllErrors;
    std::int64_t At;
  } cases[] = {{sparse, false, 100 * Unit}, {sparse, false, (32 << 20) + Unit},
               {bad, true, 2 * Unit},       {bad, true, 49 * Unit},
               {bad, false, 2 * Unit}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path + " from " + std::to_string(c.At));
    TPartRead whole, resumed;
    Check(c.Path, c.AllErrors, whole);
    const std::size_t readsBefore = fs.ReadRanges("bad.bin").size();
    resumed.SoFar = FoundBefore(whole.Record, c.At);
    Check(c.Path, c.AllErrors, resumed);
    EXPECT_EQ(Found(resumed.Record), Found(whole.Record));
    EXPECT_EQ(resumed.Record.StoppedAt, -1);
    const auto reads = fs.ReadRanges("bad.bin");
    for (std::size_t i = readsBefore; i < reads.size(); ++i) EXPECT_GE(reads[i].first, c.At);
    // A long file's progress is noted every 64 MiB, at unit boundaries.
    if (c.Path == sparse) {
      EXPECT_EQ(whole.Progress, (std::vector<std::int64_t>{64 << 20, 128 << 20, 192 << 20}));
    }
  }
}
