#include "ReportWriter.h"

#include <map>

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "Locale.h"
#include "LogFile.h"
#include "LogOutput.h"
#include "Mounts.h"
#include "Periodic.h"
#include "Path.h"
#include "Process.h"
#include "TextEncoding.h"
#include "VersionInfo.h"

using Json = nlohmann::ordered_json;

namespace {

// A name that is not valid UTF-8 is shown with U+FFFD for its stray bytes;
// its bytes go beside it, so that a program can still open the file.
void PutPath(Json& object, const std::string& path) {
  const std::string shown = Platform::ReplaceInvalidUtf8(path);
  object["path"] = shown;
  if (shown != path) object["path_b64"] = ToBase64(path);
}

std::string OutcomeName(TFileOutcome outcome) {
  switch (outcome) {
    case TFileOutcome::Correct: return "ok";
    case TFileOutcome::OpenFailure: return "open_error";
    case TFileOutcome::ReadFailure: return "read_error";
    case TFileOutcome::ContentMismatch: return "mismatch";
    case TFileOutcome::NotFromMedium: return "not_from_medium";
    case TFileOutcome::Stopped: return "stopped";
    case TFileOutcome::SearchFailure: return "search_error";
    case TFileOutcome::Skipped:
    case TFileOutcome::DirectorySkipped: break;
  }
  return "skipped";
}

std::string VerdictName(TRecheck::TVerdict verdict) {
  switch (verdict) {
    case TRecheck::TVerdict::Persistent: return "persistent";
    case TRecheck::TVerdict::Intermittent: return "intermittent";
    case TRecheck::TVerdict::Recovered: break;
  }
  return "recovered";
}

Json HeaderObject(const TReportRun& run) {
  Json mounts = Json::array();
  // Thousands of files named one by one mostly share a few directories.
  std::map<std::string, Platform::TMountInfo> seen;
  for (const std::string& item : run.Items) {
    const std::string directory = Platform::DirectoryPart(item);
    auto [place, added] = seen.try_emplace(directory);
    if (added) place->second = Platform::MountOf(directory.empty() ? "." : directory);
    const Platform::TMountInfo& mount = place->second;
    mounts.push_back({{"item", item},
                      {"mount_point", mount.MountPoint},
                      {"fs_type", mount.FsType},
                      {"source", mount.Source}});
  }
  const auto orNull = [](const std::optional<std::int64_t>& value) {
    return value ? Json(*value) : Json(nullptr);
  };
  return {{"type", "header"},
          {"format", "korvane-report"},
          {"version", 1},
          {"program", "korvane-cli"},
          {"version_of_program", GetFullVersion()},
          {"argv", run.Arguments},
          {"started", Platform::NowIso8601()},
          {"items", run.Items},
          {"options",
           {{"subdirectories", run.Subdirectories},
            {"all_attributes", run.AllAttributes},
            {"read_unit", run.ReadUnit},
            {"cached", run.Cached},
            {"all_errors", run.AllErrors},
            {"slow_ms", orNull(run.SlowMs)},
            {"timeout_s", orNull(run.TimeoutS)}}},
          {"host", Platform::HostName()},
          {"mounts", mounts}};
}

Json ErrorObject(const TFileRecord& record, std::int64_t unit) {
  Json error = {{"offset", record.ErrorPosition},
                {"unit", unit},
                {"code", record.ErrorCode},
                {"text", record.ErrorText}};
  if (record.ErrorIntermittent) error["intermittent"] = true;
  if (record.Content) {
    error["text"] = record.Content->Message;
    error["expected"] = record.Content->Expected;
    error["actual"] = record.Content->Actual;
  }
  return error;
}

bool Failed(const TFileRecord& record) { return IsFailure(record.Outcome); }

// Sets the fields of a file object, in their order; an object that holds
// them already keeps its places.
void FillFileObject(Json& file, const TFileRecord& record, std::int64_t unit) {
  file["type"] = "file";
  PutPath(file, record.Path);
  file["size"] = record.Size;
  file["mtime_ns"] = record.Found.ModifiedNs;
  file["dev"] = record.Found.Device;
  file["ino"] = record.Found.Inode;
  file["outcome"] = OutcomeName(record.Outcome);
  if (Failed(record)) file["error"] = ErrorObject(record, unit);
  if (record.Recheck)
    file["recheck"] = {{"tries", record.Recheck->Tries},
                       {"failed", record.Recheck->Failed},
                       {"verdict", VerdictName(record.Recheck->Verdict)}};
  file["bad_ranges"] = Json::array();
  for (const TBadRange& range : record.BadRanges) {
    Json bad = {{"offset", range.Offset}, {"length", range.Length}, {"code", range.Code}};
    if (range.Intermittent) bad["intermittent"] = true;
    file["bad_ranges"].push_back(std::move(bad));
  }
  file["slow_ranges"] = Json::array();
  for (const TSlowRange& range : record.SlowRanges)
    file["slow_ranges"].push_back(
        {{"offset", range.Offset}, {"length", range.Length}, {"ms", range.Milliseconds}});
  file["bytes_read"] = record.BytesRead;
  file["seconds"] = record.Seconds;
}

Json DirectoryObject(const std::string& path, const char* outcome, int code, const std::string& text) {
  Json directory = {{"type", "directory"}};
  PutPath(directory, path);
  directory["outcome"] = outcome;
  directory["code"] = code;
  directory["text"] = text;
  return directory;
}

Json SummaryObject(const TRunTotals& totals, bool interrupted, int exitStatus) {
  Json histogram = Json::object();
  const auto& bounds = TReadTimeHistogram::UpperBoundsMs;
  for (std::size_t i = 0; i < bounds.size(); ++i)
    histogram["lt" + std::to_string(bounds[i])] = totals.ReadTimes.Counts[i];
  histogram["ge" + std::to_string(bounds.back())] = totals.ReadTimes.Counts.back();
  return {{"type", "summary"},
          {"files", totals.FilesOk + totals.FilesError + totals.FilesSkipped},
          {"ok", totals.FilesOk},
          {"errors", totals.FilesError},
          {"skipped_files", totals.FilesSkipped},
          {"skipped_dirs", totals.DirsSkipped},
          {"slow_files", totals.FilesSlow},
          {"bytes", totals.TotalBytes},
          {"seconds", totals.Elapsed * 86400.0},
          {"read_time_histogram_ms", histogram},
          {"interrupted", interrupted},
          {"exit_status", exitStatus}};
}

std::string Line(const Json& object) {
  // Arguments and items may hold bytes that are not UTF-8: shown as U+FFFD.
  return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::unique_ptr<TReportWriter> TReportWriter::Open(const std::string& fileName, TReportRun run,
                                                   std::string& failure) {
  std::unique_ptr<TReportWriter> writer(new TReportWriter(fileName, std::move(run)));
  if (const Platform::TWriteResult result = writer->Output.OpenGrowing(fileName); !result) {
    failure = LogFileFailure(fileName, result);
    return nullptr;
  }
  // The objects are made and written there, in blocks, not on the run's
  // thread: a line and a write for each of 20,000 small files would slow
  // the run by a fifth.
  writer->Writer = EveryInterval(WriteInterval, [raw = writer.get()] { raw->WriteWaiting(); });
  return writer;
}

TReportWriter::~TReportWriter() = default;

void TReportWriter::Queue(TQueued queued) {
  std::lock_guard hold(Lock);
  Waiting.push_back(std::move(queued));
}

void TReportWriter::WriteWaiting() {
  std::vector<TQueued> taken;
  {
    std::lock_guard hold(Lock);
    taken.swap(Waiting);
  }
  std::string block;
  for (const TQueued& queued : taken)
    block += queued.File ? FileLine(*queued.File) : queued.Line;
  if (Failure && !block.empty()) Failure = Output.Append(block);
}

// Nearly every file is read without error and named in UTF-8: such a file
// has the fields of the one before, and filling that object in place costs
// half of making a new one.
std::string TReportWriter::FileLine(const TFileRecord& record) {
  const bool plain = !Failed(record) && Platform::ReplaceInvalidUtf8(record.Path) == record.Path;
  Json fresh;
  Json& file = plain ? PlainFile : fresh;
  FillFileObject(file, record, Run.ReadUnit);
  return Line(file);
}

void TReportWriter::RunStarted() { Queue({.Line = Line(HeaderObject(Run))}); }

void TReportWriter::DirectoryStarted(std::string_view path, Platform::TAttributes) {
  Directory = Platform::DirectoryPart(path);
  if (Directory.empty()) Directory = ".";
}

void TReportWriter::FileFinished(const TFileRecord& record) {
  if (record.Outcome == TFileOutcome::SearchFailure)
    Queue({.Line = Line(DirectoryObject(record.Path, "search_error", record.ErrorCode,
                                        record.ErrorText))});
  else
    Queue({.File = record});
}

void TReportWriter::DirectorySkipped() {
  Queue({.Line = Line(DirectoryObject(Directory, "skipped", 0, ""))});
}

std::optional<std::string> TReportWriter::Finish(const TRunTotals& totals, bool interrupted,
                                                 int exitStatus) {
  Writer = {};
  Queue({.Line = Line(SummaryObject(totals, interrupted, exitStatus))});
  WriteWaiting();
  if (Failure) Failure = Output.Commit();
  if (Failure) return std::nullopt;
  Output.Abandon();
  return LogFileFailure(FileName, Failure);
}
