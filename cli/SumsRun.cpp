#include "SumsRun.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "CliRun.h"
#include "File.h"
#include "Locale.h"
#include "SafeFile.h"
#include "SystemError.h"
#include "TextEncoding.h"

namespace {

// The whole file; the error code when it cannot be opened or read.
int ReadWholeFile(const std::string& path, std::string& text) {
  Platform::TReadFile file;
  if (const int code = file.Open(path)) return code;
  constexpr std::int64_t Piece = 1 << 16;
  for (;;) {
    const std::size_t at = text.size();
    text.resize(at + Piece);
    std::int64_t done = 0;
    const int code = file.Read(text.data() + at, Piece, done);
    text.resize(at + static_cast<std::size_t>(done));
    if (code != 0) return code;
    if (done < Piece) return 0;
  }
}

}  // namespace

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
  for (const std::string& path : args.CheckSums) {
    std::string text;
    if (const int code = ReadWholeFile(path, text)) {
      Complain("不能读校验和文件'" + path + "': " + Platform::SystemErrorText(code));
      return ExitUsage;
    }
    const TManifest manifest = ParseManifest(text);
    for (const TManifestProblem& problem : manifest.Problems)
      Complain(path + ":" + std::to_string(problem.Line) + ": " + problem.Text);
    // A file with no line to check by (the wrong file given, say) would
    // otherwise pass a run that compared nothing.
    if (manifest.Entries.empty()) {
      Complain("校验和文件'" + path + "'中没有校验和");
      return ExitUsage;
    }
    if (const std::size_t assumed = Check->AddManifest(path, manifest))
      Complain("校验和文件'" + path + "'中 " + Platform::FormatCount(static_cast<std::int64_t>(assumed)) +
               " 行的 128 位校验和未标明算法: 按 SHA512 核对, 不符时再按 BLAKE2b 核对"
               " (文件名为 *.b2 或 B2SUMS 时只按 BLAKE2b).");
  }
  if (args.MakeSums) {
    std::optional<TManifestStyle> style = StyleForManifestName(*args.MakeSums);
    if (args.SumType) style = StyleForSumType(*args.SumType);
    if (!style) {
      Complain("不能识别的校验和类型 '" + *args.SumType + "'");
      return ExitUsage;
    }
    // Opened before a long run, not after it: a directory, or a FIFO no
    // one reads, is refused now. A file stays as it was until the end.
    if (const Platform::TWriteResult opened = MadeFile.Open(*args.MakeSums); !opened) {
      Complain("不能写校验和文件'" + *args.MakeSums + "': " + Platform::SystemErrorText(opened.Error));
      return ExitUsage;
    }
    Check->MakeManifest(*args.MakeSums, *style);
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

bool TSumsRun::WriteMadeManifest(bool stopped) {
  if (!MakePath) return true;
  if (stopped) {
    Complain("校验被中止, 未写校验和文件'" + *MakePath + "'");
    return true;
  }
  std::vector<std::string> omitted;
  const std::string text = Check->MadeManifest(omitted);
  for (const std::string& name : omitted)
    Complain("校验和文件的格式不能记下文件名, 未列入: " + name);
  Platform::TWriteResult result = MadeFile.Append(text);
  if (result) result = MadeFile.Commit();
  if (result) return true;
  Complain("不能写校验和文件'" + *MakePath + "': " + Platform::SystemErrorText(result.Error));
  return false;
}
