// Hashing beside the reads must change nothing a run reports: the log, the
// error list, the counts and a new manifest are those of a run that judged
// each file before reading the next.
#include <gtest/gtest.h>

#include <future>

#include "Manifest.h"
#include "SumsCheck.h"
#include "TempDir.h"
#include "TestFs.h"
#include "VerifierUnit.h"

namespace {

// The same check, but each verdict is waited for before the run reads on.
class TOneAtATimeCheck : public TContentCheck {
 public:
  explicit TOneAtATimeCheck(TSumsCheck& check) : Check(check) {}
  bool Wanted(const std::string& path) override { return Check.Wanted(path); }
  TDataSink* BeginFile(const std::string& path) override { return Check.BeginFile(path); }
  void FileDropped() override { Check.FileDropped(); }
  std::vector<std::string> FilesNotMet() override { return Check.FilesNotMet(); }
  void FileRead(const std::string& path, TContentVerdict verdict) override {
    std::promise<std::optional<TContentFailure>> settled;
    Check.FileRead(path, [&](std::optional<TContentFailure> failure) {
      settled.set_value(std::move(failure));
    });
    verdict(settled.get_future().get());
  }

 private:
  TSumsCheck& Check;
};

std::string Sha256Of(const std::string& content) {
  TDigestSet set;
  set.Reset(KindBit(TDigestKind::Sha256));
  set.Data(reinterpret_cast<const std::byte*>(content.data()), content.size());
  return set.HexDigest(TDigestKind::Sha256);
}

struct TRunResult {
  std::vector<std::string> Log;
  std::vector<std::string> ErrorList;
  std::int64_t FilesOk = 0, FilesError = 0;
  std::string MadeManifest;
};

// Checks dir against its manifest, without items, writing a new one too.
TRunResult CheckTree(const TTempDir& dir, bool oneAtATime) {
  std::string made;
  TSumsCheck sums;
  std::string text;
  const std::string manifest = dir / "SHA256SUMS";
  FILE* file = std::fopen(manifest.c_str(), "rb");
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  sums.AddManifest(manifest, ParseManifest(text));
  sums.MakeManifest(dir / "NEW.md5", StyleForManifestName("NEW.md5"),
                    [&made](std::string_view line) { made += line; });
  sums.SetListedOnly(true);
  TOneAtATimeCheck serial(sums);

  TVerifyStatus status;
  TVerifySetupInfo setup(dir / "KORVANE.INI");
  setup.VerifyList = sums.ManifestItems();
  setup.AllSubdirectories = true;
  TVerifier run(status, setup,
                {.Cached = true, .Contents = oneAtATime ? static_cast<TContentCheck*>(&serial) : &sums});
  run.WaitFor();
  TRunResult result{{}, {}, status.FilesOk, status.FilesError, {}};
  for (const std::string_view line : status.Log) result.Log.emplace_back(line);
  result.Log.pop_back();  // the time taken
  for (const std::string_view line : status.ErrorList) result.ErrorList.emplace_back(line);
  result.MadeManifest = made;
  return result;
}

}  // namespace

// Many small files and a few of several reads each, four of them not
// what the manifest says, one listed and missing, one not listed.
TEST(SumsOverlap, LogAndManifestAreThoseOfAOneFileAtATimeRun) {
  TTempDir dir;
  std::string manifest;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i);
    const std::size_t size = i % 50 == 0 ? (std::size_t{3} << 20) + 17 : static_cast<std::size_t>(i * 37);
    std::string content(size, static_cast<char>('a' + i % 26));
    content += std::to_string(i);
    ASSERT_TRUE(dir.WriteFile(name, content));
    const bool wrong = i % 97 == 5;
    manifest += Sha256Of(wrong ? content + "x" : content) + "  " + name + "\n";
  }
  manifest += Sha256Of("") + "  gone.txt\n";
  ASSERT_TRUE(dir.WriteFile("unlisted.txt", "u"));
  ASSERT_TRUE(dir.WriteFile("SHA256SUMS", manifest));

  const TRunResult serial = CheckTree(dir, true);
  const TRunResult overlapped = CheckTree(dir, false);
  EXPECT_EQ(serial.FilesError, 5);  // four mismatches and the missing file
  EXPECT_EQ(serial.FilesOk, 296);
  EXPECT_EQ(overlapped.FilesOk, serial.FilesOk);
  EXPECT_EQ(overlapped.FilesError, serial.FilesError);
  EXPECT_EQ(overlapped.Log, serial.Log);
  EXPECT_EQ(overlapped.ErrorList, serial.ErrorList);
  EXPECT_EQ(overlapped.MadeManifest, serial.MadeManifest);
  EXPECT_EQ(std::count(serial.MadeManifest.begin(), serial.MadeManifest.end(), '\n'), 296);
}

// Bytes of a file that fails to read, or is skipped, must not reach the
// digest of the file after it.
TEST(SumsOverlap, AFileThatIsNotReadThroughLeavesTheNextDigestAlone) {
  constexpr std::int64_t Size = 3 << 20;
  TTestFs fs({{.Path = "fails.bin", .Size = Size, .ErrorAt = (2 << 20) + 5},
              {.Path = "skipped.bin", .Size = Size},
              {.Path = "good.bin", .Size = Size}});
  KORVANE_REQUIRE_FUSE(fs);
  std::string content;
  for (std::int64_t i = 0; i < Size; ++i) content += TestFsByte(i);
  std::string manifest;
  for (const char* name : {"fails.bin", "skipped.bin", "good.bin"})
    manifest += Sha256Of(content) + "  " + name + "\n";
  TSumsCheck sums;
  sums.AddManifest(fs.PathOf("SHA256SUMS"), ParseManifest(manifest));

  TTempDir dir;
  TVerifyStatus status;
  TVerifySetupInfo setup(dir / "KORVANE.INI");
  setup.PositionError = true;
  setup.ReadUnit = 4096;
  std::vector<std::byte> buffer(1 << 20);
  {
    TVerifier verifier(status, setup, TVerifier::TNoThread{buffer.data(), buffer.size()},
                       {.Cached = true, .Contents = &sums});
    verifier.VerifyFile(fs.PathOf("fails.bin"), Size, 0);
    status.SkipFile = true;
    verifier.VerifyFile(fs.PathOf("skipped.bin"), Size, 0);
    verifier.VerifyFile(fs.PathOf("good.bin"), Size, 0);
  }  // its verdicts are all in when it is gone
  EXPECT_EQ(status.FilesError, 1);
  EXPECT_EQ(status.FilesSkipped, 1);
  EXPECT_EQ(status.FilesOk, 1);
  EXPECT_EQ(status.Log.back(), "     文件正确.");
}
