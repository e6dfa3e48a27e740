#pragma once
// korvane-cli's report: the run's records as JSON Lines, one object a line,
// for programs to read (docs/report.md describes every field). A header
// first, then an object for each file and for each directory that failed
// or was skipped, in walk order, then the summary. The lines go out as the
// run goes, at most WriteInterval after their file, so that `tail -f`
// follows the run and a killed run leaves nearly every object it finished.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

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
  static constexpr std::chrono::milliseconds WriteInterval{100};

  // Null, with the message in failure, when fileName cannot be created.
  static std::unique_ptr<TReportWriter> Open(const std::string& fileName, TReportRun run,
                                             std::string& failure);

  void RunStarted() override;
  void DirectoryStarted(std::string_view path, Platform::TAttributes attributes) override;
  void FileFinished(const TFileRecord& record) override;
  void DirectorySkipped() override;

  // After the run: the summary of its totals, with how the program ends;
  // then the file is closed. On failure, the message for the user.
  std::optional<std::string> Finish(const TRunTotals& totals, bool interrupted, int exitStatus);
  ~TReportWriter() override;

 private:
  // A file's record, made into its line later, or a line made already.
  struct TQueued {
    std::optional<TFileRecord> File{};
    std::string Line{};
  };
  TReportWriter(std::string fileName, TReportRun run)
      : FileName(std::move(fileName)), Run(std::move(run)) {}
  void Queue(TQueued queued);
  void WriteWaiting();
  std::string FileLine(const TFileRecord& record);

  const std::string FileName;
  const TReportRun Run;
  // Written by the writing thread, then by Finish once that has ended.
  Platform::TOutputFile Output;
  Platform::TWriteResult Failure{};
  nlohmann::ordered_json PlainFile;  // the last file without an error
  // The run's thread only.
  std::string Directory;  // the directory part of the scan under way
  std::mutex Lock;  // guards Waiting
  std::vector<TQueued> Waiting;
  std::jthread Writer;  // last: stopped before the rest goes
};
