#include "RecheckRun.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "CliRun.h"
#include "InputFile.h"
#include "Locale.h"
#include "SystemError.h"

using Json = nlohmann::json;

namespace {

// A report line longer than this is no line of a report: reading it whole
// could take any amount of memory.
constexpr std::size_t LongestLine = std::size_t{16} << 20;

// The most tries a file gets: each is an item of the run.
constexpr int MostTries = 100;

// One object of the report; false when it is none (also when a field has
// another type than a report gives it).
bool TakeLine(std::string_view line, TReportedFailures& failed, std::int64_t& readUnit) try {
  const Json object = Json::parse(line, nullptr, false);
  if (!object.is_object()) return false;
  const std::string type = object.value("type", "");
  const std::string outcome = object.value("outcome", "");
  if (type == "header") {
    readUnit = object.value("/options/read_unit"_json_pointer, std::int64_t{0});
  } else if (type == "file" && (outcome == "open_error" || outcome == "read_error" || outcome == "mismatch")) {
    std::string path = object.value("path", "");
    if (object.contains("path_b64")) {
      if (auto bytes = FromBase64(object.value("path_b64", ""))) path = std::move(*bytes);
    }
    // Reading alone cannot clear a file whose contents differed.
    (outcome == "mismatch" ? failed.Mismatched : failed.Unreadable).push_back(std::move(path));
  }
  return true;
} catch (const Json::exception&) {
  return false;
}

// Only the names of failed files stay.
std::string ReadReport(const std::string& path, TReportedFailures& failed, std::int64_t& readUnit) {
  Platform::TInputFile input(LongestLine);
  if (const int code = input.Open(path))
    return "不能读报告'" + path + "': " + Platform::InputFileErrorText(code);
  for (Platform::TInputLine line; input.Next(line);) {
    if (line.TooLong) return "报告'" + path + "'不是 korvane-cli 的报告";
    if (TakeLine(line.Text, failed, readUnit)) continue;
    return line.Ended ? "报告'" + path + "'第 " + std::to_string(line.Number) + " 行不是报告的对象"
                      : "报告'" + path + "'的最后一行不完整";
  }
  if (input.Error() != 0)
    return "不能读报告'" + path + "': " + Platform::InputFileErrorText(input.Error());
  if (readUnit < 1 || !IsValidReadUnit(readUnit)) return "报告'" + path + "'没有有效的报告头";
  return {};
}

const char* VerdictText(TRecheck::TVerdict verdict) {
  switch (verdict) {
    case TRecheck::TVerdict::Persistent: return "持续错误";
    case TRecheck::TVerdict::Intermittent: return "间歇性错误";
    case TRecheck::TVerdict::Recovered: break;
  }
  return "已恢复";
}

}  // namespace

// Sits before the run's observers. The run checks each file Tries times in
// a row, each an item of its own; the first try's events pass, the later
// ones only count, and the first try's record goes on with the verdict
// once the last try is in.
class TRecheckRun::TTries final : public TVerifyObserver {
 public:
  TTries(std::vector<TVerifyObserver*> observers, int tries)
      : Out(std::move(observers)), Tries(tries) {}

  void RunStarted() override { Each([](TVerifyObserver& o) { o.RunStarted(); }); }
  void BufferFailed(std::size_t size) override {
    Each([&](TVerifyObserver& o) { o.BufferFailed(size); });
  }
  void ItemStarted(std::string_view item) override {
    if (Try == Tries) SendHeld();
    if (++Try > Tries) Try = 1;
    if (Try == 1) Each([&](TVerifyObserver& o) { o.ItemStarted(item); });
  }
  void DirectoryStarted(std::string_view path, Platform::TAttributes attributes) override {
    if (Try <= 1) Each([&](TVerifyObserver& o) { o.DirectoryStarted(path, attributes); });
  }
  void NoMatchingFiles() override {
    if (Try <= 1) Each([](TVerifyObserver& o) { o.NoMatchingFiles(); });
  }
  void FileStarted(std::string_view path, std::int64_t size,
                   Platform::TAttributes attributes) override {
    if (Try <= 1) Each([&](TVerifyObserver& o) { o.FileStarted(path, size, attributes); });
  }
  void FileProgress(const TFileRecord& soFar) override {
    if (Try <= 1) Each([&](TVerifyObserver& o) { o.FileProgress(soFar); });
  }
  void FileFinished(const TFileRecord& record) override {
    if (record.Outcome == TFileOutcome::SearchFailure) {
      if (Try <= 1) Each([&](TVerifyObserver& o) { o.FileFinished(record); });
      return;
    }
    if (Try <= 1) Held = record;
    if (record.Outcome == TFileOutcome::Stopped || record.Outcome == TFileOutcome::Skipped ||
        record.Outcome == TFileOutcome::DirectorySkipped)
      return;
    ++Done;
    if (!IsFailure(record.Outcome)) return;
    ++Failed;
    const std::pair at{record.ErrorPosition, record.Outcome};
    if (Failed == 1) FirstFailure = at;
    else if (at != FirstFailure) SamePlace = false;
    // A stretch that failed and then read well is no damage that stays.
    if (record.ErrorIntermittent) SamePlace = false;
  }
  void DirectorySkipped() override {
    if (Try <= 1) Each([](TVerifyObserver& o) { o.DirectorySkipped(); });
  }
  void RunStopped() override {
    SendHeld();
    Each([](TVerifyObserver& o) { o.RunStopped(); });
  }
  void RunFinished(const TRunTotals& totals) override {
    SendHeld();
    TRunTotals first = Totals;
    first.Elapsed = totals.Elapsed;
    Each([&](TVerifyObserver& o) { o.RunFinished(first); });
  }

  // The files with their verdicts, in order.
  std::vector<std::pair<std::string, TRecheck>> Verdicts;
  TRunTotals Totals;  // of the first tries

 private:
  template <class TEvent>
  void Each(const TEvent& event) {
    for (TVerifyObserver* observer : Out) event(*observer);
  }

  // Only tries read to a verdict count: one cut short by a stop says nothing.
  void SendHeld() {
    if (!Held) return;
    TFileRecord record = std::move(*Held);
    Held.reset();
    if (Done > 0) {
      using enum TRecheck::TVerdict;
      const auto verdict = Failed == 0                        ? Recovered
                           : Failed == Done && SamePlace ? Persistent
                                                              : Intermittent;
      record.Recheck = TRecheck{.Tries = Done, .Failed = Failed, .Verdict = verdict};
      Verdicts.emplace_back(record.Path, *record.Recheck);
    }
    Count(record);
    Each([&](TVerifyObserver& o) { o.FileFinished(record); });
    Done = Failed = 0;
    SamePlace = true;
  }

  void Count(const TFileRecord& record) {
    if (record.Outcome == TFileOutcome::Correct) {
      ++Totals.FilesOk;
      Totals.TotalBytes += record.Size;
    } else if (IsFailure(record.Outcome)) {
      ++Totals.FilesError;
    } else {
      ++Totals.FilesSkipped;
    }
    if (!record.SlowRanges.empty()) ++Totals.FilesSlow;
    Totals.ReadTimes += record.ReadTimes;
  }

  const std::vector<TVerifyObserver*> Out;
  const int Tries;
  int Try = 0;  // of the item under way, from 1
  std::optional<TFileRecord> Held;
  int Done = 0, Failed = 0;
  bool SamePlace = true;
  std::pair<std::int64_t, TFileOutcome> FirstFailure{};
};

TRecheckRun::TRecheckRun() = default;
TRecheckRun::~TRecheckRun() = default;

std::optional<int> TRecheckRun::Load(const TCliArguments& args) {
  if (!args.RecheckFile) {
    if (args.Tries == 0) return std::nullopt;
    Complain("选项 '--tries' 只用于 '--recheck'");
    return ExitUsage;
  }
  if (args.Tries > MostTries) {
    Complain("选项 '--tries' 至多为 " + std::to_string(MostTries));
    return ExitUsage;
  }
  if (args.ResumeFile || !args.CheckSums.empty() || args.MakeSums || !args.LiteralItems.empty() ||
      !args.OpenPaths.empty()) {
    Complain("--recheck 不能与文件名, --resume, --check-sums 或 --make-sums 同用.");
    return ExitUsage;
  }
  if (const std::string failure = ReadReport(*args.RecheckFile, Failed, ReadUnit); !failure.empty()) {
    Complain(failure);
    return ExitUsage;
  }
  Tries = args.Tries > 0 ? args.Tries : DefaultTries;
  return std::nullopt;
}

// With the unit of the earlier run, so that a fault shows at the place it
// showed there; hidden files too, as the report may name them.
void TRecheckRun::ChooseItems(TVerifySetupInfo& setup) const {
  setup.VerifyList.clear();
  setup.AllSubdirectories = false;
  setup.AllFileAttributes = true;
  setup.PositionError = true;
  setup.ReadUnit = static_cast<int>(ReadUnit);
  for (const std::string& file : Failed.Unreadable) {
    setup.LiteralItems.insert(file);
    setup.VerifyList.insert(setup.VerifyList.end(), static_cast<std::size_t>(Tries), file);
  }
}

TVerifyObserver* TRecheckRun::Observe(std::vector<TVerifyObserver*> observers) {
  Observer = std::make_unique<TTries>(std::move(observers), Tries);
  return Observer.get();
}

int TRecheckRun::Finish(TVerifyStatus& status, int exitStatus) {
  // A file gone since is missing at each of its tries: it is said once.
  auto& missing = status.MissingItems;
  missing.erase(std::unique(missing.begin(), missing.end(),
                            [](const TMissingItem& a, const TMissingItem& b) { return a.Item == b.Item; }),
                missing.end());
  status.FilesOk = static_cast<std::int32_t>(Observer->Totals.FilesOk);
  status.FilesError = static_cast<std::int32_t>(Observer->Totals.FilesError);
  status.FilesSkipped = static_cast<std::int32_t>(Observer->Totals.FilesSkipped);
  status.TotalBytes = Observer->Totals.TotalBytes;
  bool failing = !Failed.Mismatched.empty();
  for (const std::string& path : Failed.Mismatched)
    Complain("'" + path + "': 内容与校验和不符, 未再次读取 (用 --check-sums 再次校验)");
  // A report whose failures were all mismatches leaves nothing to read.
  if (Failed.Unreadable.empty() && exitStatus == ExitNothingMatched) exitStatus = ExitAllCorrect;
  for (const auto& [path, recheck] : Observer->Verdicts) {
    Complain("'" + path + "': " + VerdictText(recheck.Verdict) + " (" +
             std::to_string(recheck.Tries) + " 次读取中 " + std::to_string(recheck.Failed) +
             " 次失败)");
    failing = failing || recheck.Verdict != TRecheck::TVerdict::Recovered;
  }
  if (exitStatus != ExitAllCorrect && exitStatus != ExitFileErrors) return exitStatus;
  const bool unreached = !missing.empty() || !status.SearchFailures.empty();
  return failing || unreached ? ExitFileErrors : ExitAllCorrect;
}
