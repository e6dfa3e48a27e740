#pragma once
// korvane-cli's report: the run's records as JSON Lines, one object a line,
// for programs to read (docs/report.md describes every field). A header
// first, then an object for each file and for each directory that failed
// or was skipped, in walk order, then the summary. Each line goes out as
// soon as it is made, so that `tail -f` follows the run and a killed run
// leaves every object it had finished.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFile.h"
#include "VerifyObserver.h"
#include "VerifyStatus.h"

// What the header says about the run, fixed before it starts.
struct TReportRun {
  TStringList Arguments;  // as given, without the program's name
  TStringList Items;
  bool Subdirectories = false;
  bool AllAttributes = false;
  std::int64_t ReadUnit = 0;  // the unit the run reads in
  bool Cached = false;
  bool AllErrors = false;
  std::optional<std::int64_t> SlowMs{};
  std::optional<std::int64_t> TimeoutS{};
};

class TReportWriter : public TVerifyObserver {
 public:
  // Null, with the message in failure, when fileName cannot be created.
  static std::unique_ptr<TReportWriter> Open(const std::string& fileName, TReportRun run,
                                             std::string& failure);

  void RunStarted() override;
  void DirectoryStarted(std::string_view path, Platform::TAttributes attributes) override;
  void FileFinished(const TFileRecord& record) override;
  void DirectorySkipped() override;
  void RunFinished(const TRunTotals& totals) override;

  // After the run: the summary, with how the program ends; then the file is
  // closed. On failure, the message for the user.
  std::optional<std::string> Finish(bool interrupted, int exitStatus);

 private:
  TReportWriter(std::string fileName, TReportRun run) : FileName(std::move(fileName)), Run(std::move(run)) {}
  void Write(const std::string& line);

  const std::string FileName;
  const TReportRun Run;
  Platform::TOutputFile Output;
  Platform::TWriteResult Failure{};
  std::string Directory;  // the directory part of the scan under way
  TRunTotals Totals{};
};
