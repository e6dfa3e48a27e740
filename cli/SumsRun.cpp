#include "SumsRun.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "CliRun.h"
#include "InputFile.h"
#include "Locale.h"
#include "SystemError.h"
#include "TextEncoding.h"

namespace {

std::string ReadFailure(const std::string& path, int code) {
  return "不能读校验和文件'" + path + "': " + Platform::InputFileErrorText(code);
}

}  // namespace

// Read as a stream, a line at a time: a manifest of millions of lines
// costs only the compact list of what it lists.
bool TSumsRun::LoadManifest(const std::string& path) {
  Platform::TInputFile file;
  if (const int code = file.Open(path)) {
    Complain(ReadFailure(path, code));
    return false;
  }
  Check->BeginManifest(path);
  TManifestLines lines;
  std::vector<TManifestEntry> entries;
  std::size_t listed = 0;
  std::size_t assumed = 0;
  for (Platform::TInputLine line; file.Next(line); entries.clear()) {
    const std::string where = path + ":" + std::to_string(line.Number) + ": ";
    if (line.TooLong) {
      Complain(where + "行超过 1 MiB, 已略过");
      continue;
    }
    if (!lines.Take(line.Text, line.Number, entries)) Complain(where + "不能识别的行");
    for (const TManifestEntry& entry : entries) assumed += Check->AddEntry(entry) ? 1 : 0;
    listed += entries.size();
  }
  Check->EndManifest();
  if (file.Error() != 0) {
    Complain(ReadFailure(path, file.Error()));
    return false;
  }
  // A file with no line to check by (the wrong file given, say) would
  // otherwise pass a run that compared nothing.
  if (listed == 0) {
    Complain("校验和文件'" + path + "'中没有校验和");
    return false;
  }
  if (assumed > 0)
    Complain("校验和文件'" + path + "'中 " + Platform::FormatCount(static_cast<std::int64_t>(assumed)) +
             " 行的 128 位校验和未标明算法: 按 SHA512 核对, 不符时再按 BLAKE2b 核对"
             " (文件名为 *.b2 或 B2SUMS 时只按 BLAKE2b).");
  return true;
}

std::optional<int> TSumsRun::Load(const TCliArguments& args) {
  if (args.CheckSums.empty() && !args.MakeSums) {
    if (!args.SumType) return std::nullopt;
    Complain("选项 '--sum-type' 只用于 '--make-sums'");
    return ExitUsage;
  }
  try {
    Check = std::make_unique<TSumsCheck>();
  } catch (const std::runtime_error& error) {
    // An OpenSSL whose configuration withholds a digest (FIPS mode, say).
    Complain(error.what());
    return ExitUsage;
  }
  for (const std::string& path : args.CheckSums)
    if (!LoadManifest(path)) return ExitUsage;
  if (args.MakeSums) {
    std::optional<TManifestStyle> style = StyleForManifestName(*args.MakeSums);
    if (args.SumType) style = StyleForSumType(*args.SumType);
    if (!style) {
      Complain("不能识别的校验和类型 '" + *args.SumType + "'");
      return ExitUsage;
    }
    // Opened before a long run, so that a file that cannot be made (a
    // directory, a FIFO no one reads) is known at once; its lines go out as
    // the files are hashed, and it takes its name only at the end: a file
    // there stays as it was until then.
    Made = std::make_unique<Platform::TOutputFile>();
    if (const Platform::TWriteResult result = Made->Open(*args.MakeSums); !result) {
      Complain("不能写校验和文件'" + *args.MakeSums + "': " + Platform::SystemErrorText(result.Error));
      return ExitUsage;
    }
    Check->MakeManifest(*args.MakeSums, *style, [this](std::string_view line) {
      MadeLines += line;
      if (MadeLines.size() >= MadeBatch) WriteMadeLines();
    });
    MakePath = args.MakeSums;
  }
  return std::nullopt;
}

void TSumsRun::ChooseItems(TVerifySetupInfo& setup) {
  if (!Checking()) return;
  if (!setup.VerifyList.empty()) {
    Check->SetItemWalks(setup.VerifyList, setup.AllSubdirectories, setup.AllFileAttributes);
    return;
  }
  // The manifest names the files: hidden ones and those in subdirectories too.
  Check->SetListedOnly(true);
  setup.VerifyList = Check->ManifestItems();
  setup.AllSubdirectories = true;
  setup.AllFileAttributes = true;
}

bool TSumsRun::Finish(bool stopped) {
  if (!Check) return true;
  for (const std::string& path : Check->Unlisted()) Complain("未列入校验和文件: " + path);
  for (const std::string& path : Check->MissingFiles())
    Complain("'" + path + "': " + Platform::SystemErrorText(ENOENT) + " (列在校验和文件中)");
  return WriteMadeManifest(stopped);
}

// A batch of lines at a time: a write for each of a million would cost the
// run more than its hashing.
void TSumsRun::WriteMadeLines() {
  if (const Platform::TWriteResult result = Made->Append(MadeLines); !result && MadeError == 0)
    MadeError = result.Error;
  MadeLines.clear();
}

bool TSumsRun::WriteMadeManifest(bool stopped) {
  if (!MakePath) return true;
  if (stopped) {
    Made->Abandon();
    Complain("校验被中止, 未写校验和文件'" + *MakePath + "'");
    return true;
  }
  for (const std::string& name : Check->OmittedFromMade())
    Complain("校验和文件的格式不能记下文件名, 未列入: " + name);
  WriteMadeLines();
  // A line lost makes a list that would pass for complete: never put in place.
  Platform::TWriteResult result{Platform::TWriteStage::Write, MadeError};
  if (MadeError == 0)
    result = Made->Commit();
  else
    Made->Abandon();
  if (result) return true;
  Complain("不能写校验和文件'" + *MakePath + "': " + Platform::SystemErrorText(result.Error));
  return false;
}
