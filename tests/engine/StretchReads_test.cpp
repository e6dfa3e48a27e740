// Reading in large stretches must place a failure exactly where reading in
// the user's unit throughout would, and feed a content check each byte once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "TestFs.h"
#include "VerifierFixture.h"

namespace {

constexpr std::int64_t MiB = 1 << 20;
constexpr std::int64_t FileSize = 3 * MiB + 100;

// What reading in units throughout gives: the unit the failing byte lies in.
std::int64_t UnitStart(std::int64_t at, std::int64_t unit) { return at / unit * unit; }

// Collects the bytes it is fed, so that they can be compared with the file's.
class TCollectingSink : public TDataSink {
 public:
  void Data(const std::byte* data, std::size_t size) override {
    Bytes.append(reinterpret_cast<const char*>(data), size);
  }
  void Zeros(std::uint64_t count) override { Bytes.append(count, '\0'); }
  std::string Bytes;
};

class TCollectingCheck : public TContentCheck {
 public:
  bool Wanted(const std::string&) override { return true; }
  TDataSink* BeginFile(const std::string&) override {
    Sink.Bytes.clear();
    return &Sink;
  }
  void FileRead(const std::string&, TContentVerdict verdict) override { verdict(std::nullopt); }
  std::vector<std::string> FilesNotMet() override { return {}; }
  TCollectingSink Sink;
};

}  // namespace

TEST(StretchReads, FailureIsPlacedAtTheUnitUnitReadsFind) {
  const std::int64_t errors[] = {0, 1000, MiB + 12345, 2 * MiB + 65536, FileSize - 1};
  std::vector<TTestFile> files;
  for (const std::int64_t at : errors)
    files.push_back({.Path = "bad" + std::to_string(at), .Size = FileSize, .ErrorAt = at});
  files.push_back({.Path = "short", .Size = FileSize, .ActualSize = 2 * MiB + 7});
  TTestFs fs(files);
  KORVANE_REQUIRE_FUSE(fs);
  for (const std::int32_t unit : {1, 512, 4096, 65536}) {
    TVerifierFixture f(unit);
    for (const std::int64_t at : errors) {
      f.Verifier.VerifyFile(fs.PathOf("bad" + std::to_string(at)), FileSize, 0);
      EXPECT_EQ(f.Position(), UnitStart(at, unit)) << "unit " << unit << ", error at " << at;
      EXPECT_EQ(f.Status.Log[f.Status.Log.size() - 2], "     文件错误代码e=5") << unit;
    }
    f.Verifier.VerifyFile(fs.PathOf("short"), FileSize, 0);
    EXPECT_EQ(f.Position(), UnitStart(2 * MiB + 7, unit)) << "unit " << unit;
    EXPECT_EQ(f.Status.FilesError, static_cast<int>(std::size(errors)) + 1);
  }
}

TEST(StretchReads, AFailedStretchIsReadAgainOnAFreshOpen) {
  TTestFs fs({{.Path = "bad", .Size = FileSize, .ErrorAt = MiB + 5000}});
  KORVANE_REQUIRE_FUSE(fs);
  TVerifierFixture f(512);
  f.Verifier.VerifyFile(fs.PathOf("bad"), FileSize, 0);
  EXPECT_EQ(f.Position(), UnitStart(MiB + 5000, 512));
  const auto opened = fs.OpenedFiles();
  EXPECT_EQ(std::count(opened.begin(), opened.end(), "bad"), 2);
}

// Each byte once and in order, through holes, stretches and a unit size
// that does not divide the stretch.
TEST(StretchReads, ContentCheckSeesTheFileExactly) {
  TVerifierFixture probe;
  std::string content(3 * MiB + 333, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13 + i / 4099);
  std::fill_n(content.begin() + MiB, MiB + 17, '\0');
  probe.Dir.WriteFile("data", content);
  // A hole of its own in the middle, where the file system keeps none.
  const std::string sparse = probe.Dir.PathOf("sparse");
  probe.Dir.WriteFile("sparse", content.substr(0, MiB));
  ASSERT_EQ(truncate(sparse.c_str(), 3 * MiB), 0);
  std::string sparseContent = content.substr(0, MiB) + std::string(2 * MiB, '\0');
  for (const std::int32_t unit : {1000, 4096, 1048576}) {
    TCollectingCheck check;
    TVerifierFixture f(unit);
    TVerifier verifier(f.Status, f.Setup, f.OwnBuffer(), {.Contents = &check});
    verifier.VerifyFile(probe.Dir.PathOf("data"), static_cast<std::int64_t>(content.size()), 0);
    EXPECT_TRUE(check.Sink.Bytes == content) << unit;
    verifier.VerifyFile(sparse, 3 * MiB, 0);
    EXPECT_TRUE(check.Sink.Bytes == sparseContent) << unit;
    EXPECT_EQ(f.Status.FilesOk, 2) << unit;
  }
}
