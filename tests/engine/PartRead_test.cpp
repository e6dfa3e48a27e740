// A check that goes on from where an interrupted one stopped ends with the
// record of a check from the start, holes and failing units included, and
// reads nothing before where it goes on from.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

namespace {

class TRecords : public TVerifyObserver {
 public:
  void FileFinished(const TFileRecord& record) override { Records[record.Path] = record; }
  std::map<std::string, TFileRecord> Records;
};

// Hands on one record as that of a file an earlier run read part of.
class TPartReadFile : public TFinishedFiles {
 public:
  explicit TPartReadFile(TFileRecord soFar) : SoFar(std::move(soFar)) {}
  const TFileRecord* Find(const std::string&, const Platform::TFileIdentity&) const override {
    return nullptr;
  }
  const TFileRecord* PartRead(const std::string& path,
                              const Platform::TFileIdentity&) const override {
    return path == SoFar.Path ? &SoFar : nullptr;
  }
  TFileRecord SoFar;
};

constexpr std::int32_t Unit = 4096;

TFileRecord CheckOf(const std::string& path, bool allErrors, const TFinishedFiles* finished) {
  TTempDir ini;
  TVerifySetupInfo setup(ini.PathOf("KORVANE.INI"));
  setup.PositionError = true;
  setup.ReadUnit = Unit;
  setup.VerifyList = {path};
  TRecords records;
  TVerifyStatus status;
  TVerifier(status, setup,
            TRunOptions{.AllErrors = allErrors, .Observers = {&records}, .Finished = finished})
      .WaitFor();
  return records.Records.at(path);
}

// What the check from the start had found before at (no bad range spans it).
TFileRecord FoundBefore(TFileRecord whole, std::int64_t at) {
  TFileRecord soFar = std::move(whole);
  std::erase_if(soFar.BadRanges, [at](const TBadRange& range) { return range.Offset >= at; });
  soFar.Outcome = soFar.BadRanges.empty() ? TFileOutcome::Stopped : TFileOutcome::ReadFailure;
  soFar.ErrorPosition = soFar.BadRanges.empty() ? 0 : soFar.BadRanges[0].Offset;
  soFar.ErrorCode = soFar.BadRanges.empty() ? 0 : soFar.BadRanges[0].Code;
  soFar.BytesRead = soFar.StoppedAt = at;
  return soFar;
}

}  // namespace

TEST(PartRead, GoesOnToTheRecordOfACheckFromTheStart) {
  TTempDir dir;
  // Data, a hole of 1 MiB, data, a hole, and data at the end.
  const std::string sparse = dir.PathOf("sparse.bin");
  const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  for (const off_t at : {off_t{0}, off_t{1} << 20, off_t{3} << 20})
    ASSERT_EQ(pwrite(fd, "data", 4, at), 4);
  close(fd);
  TTestFs fs({{.Path = "bad.bin", .Size = 400000, .BadRanges = {{50000, 60000}, {300000, 310000}}}});
  KORVANE_REQUIRE_FUSE(fs);
  const std::string bad = fs.PathOf("bad.bin");

  struct TCase {
    std::string Path;
    bool AllErrors;
    std::int64_t At;
  } cases[] = {{sparse, false, 100 * Unit},  {sparse, false, (1 << 20) + Unit},
               {sparse, false, 3 << 20},     {bad, true, 2 * Unit},
               {bad, true, 49 * Unit},       {bad, false, 2 * Unit}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path + " from " + std::to_string(c.At));
    const TFileRecord whole = CheckOf(c.Path, c.AllErrors, nullptr);
    const std::size_t readsBefore = fs.ReadRanges("bad.bin").size();
    const TPartReadFile partRead(FoundBefore(whole, c.At));
    const TFileRecord resumed = CheckOf(c.Path, c.AllErrors, &partRead);
    EXPECT_EQ(resumed.Outcome, whole.Outcome);
    EXPECT_EQ(resumed.ErrorPosition, whole.ErrorPosition);
    EXPECT_EQ(resumed.ErrorCode, whole.ErrorCode);
    EXPECT_EQ(resumed.BadRanges, whole.BadRanges);
    EXPECT_EQ(resumed.BytesRead, whole.BytesRead);
    EXPECT_EQ(resumed.StoppedAt, -1);
    const auto reads = fs.ReadRanges("bad.bin");
    for (std::size_t i = readsBefore; i < reads.size(); ++i) EXPECT_GE(reads[i].first, c.At);
  }
}
