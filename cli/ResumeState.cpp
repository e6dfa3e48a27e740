#include "ResumeState.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "Mounts.h"
#include "Path.h"
#include "Periodic.h"
#include "SystemError.h"

using Json = nlohmann::json;

namespace {

constexpr const char* Format = "korvane-state";

std::string Dump(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What a state must agree on to be resumed: the items, byte for byte, and
// every option that changes what a check finds or how the log reads.
Json KeyOf(const TVerifySetupInfo& setup, const TResumeChoices& choices) {
  Json items = Json::array();
  for (const std::string& item : setup.VerifyList) {
    const bool literal = setup.LiteralItems.contains(item);
    items.push_back({{"item_b64", ToBase64(item)}, {"literal", literal}});
  }
  return {{"items", items},
          {"subdirectories", setup.AllSubdirectories},
          {"all_attributes", setup.AllFileAttributes},
          {"position_error", setup.PositionError},
          {"read_unit", ReadUnitOfRun(setup.PositionError, setup.ReadUnit)},
          {"cached", choices.Cached},
          {"all_errors", choices.AllErrors},
          {"slow_ms", choices.SlowMs},
          {"timeout_s", choices.TimeoutSeconds}};
}

std::string WriteFailure(const std::string& fileName, int code) {
  return "不能写状态文件'" + fileName + "': " + Platform::SystemErrorText(code);
}

// Files checked through, and files whose reads a stop left part-done.
bool Resumable(const TFileRecord& record) {
  const TFileOutcome outcome = record.Outcome;
  return outcome == TFileOutcome::Correct || outcome == TFileOutcome::OpenFailure ||
         outcome == TFileOutcome::ReadFailure ||
         (outcome == TFileOutcome::Stopped && record.StoppedAt > 0);
}

Json LineOf(const TFileRecord& record) {
  Json bad = Json::array(), slow = Json::array();
  for (const TBadRange& range : record.BadRanges) {
    bad.push_back({range.Offset, range.Length, range.Code});
    if (range.Intermittent) bad.back().push_back(true);
  }
  for (const TSlowRange& range : record.SlowRanges)
    slow.push_back({range.Offset, range.Length, range.Milliseconds});
  Json line = {{"path_b64", ToBase64(record.Path)},
               {"dev", record.Found.Device},
               {"ino", record.Found.Inode},
               {"size", record.Size},
               {"mtime_ns", record.Found.ModifiedNs},
               {"ctime_ns", record.Found.ChangedNs},
               {"attributes", record.Attributes},
               {"outcome", static_cast<int>(record.Outcome)},
               {"error_at", record.ErrorPosition},
               {"code", record.ErrorCode},
               {"text", record.ErrorText},
               {"bad", bad},
               {"slow", slow},
               {"times", record.ReadTimes.Counts},
               {"bytes_read", record.BytesRead},
               {"seconds", record.Seconds}};
  if (record.StoppedAt >= 0) line["stopped_at"] = record.StoppedAt;
  if (record.ErrorIntermittent) line["intermittent"] = true;
  return line;
}

// Throws nlohmann's exceptions for a line that is not a record.
TFileRecord RecordOf(const Json& line) {
  TFileRecord record;
  record.Path = FromBase64(line.at("path_b64").get<std::string>()).value();
  record.Found.Device = line.at("dev");
  record.Found.Inode = line.at("ino");
  record.Size = record.Found.Size = line.at("size");
  record.Found.ModifiedNs = line.at("mtime_ns");
  record.Found.ChangedNs = line.at("ctime_ns");
  record.Attributes = line.at("attributes");
  record.Outcome = static_cast<TFileOutcome>(line.at("outcome").get<int>());
  record.StoppedAt = line.value("stopped_at", std::int64_t{-1});
  if (!Resumable(record)) throw std::invalid_argument("outcome");
  record.ErrorPosition = line.at("error_at");
  record.ErrorCode = line.at("code");
  record.ErrorText = line.at("text");
  record.ErrorIntermittent = line.value("intermittent", false);
  for (const Json& range : line.at("bad"))
    record.BadRanges.push_back({range.at(0), range.at(1), range.at(2), range.size() > 3});
  for (const Json& range : line.at("slow"))
    record.SlowRanges.push_back({range.at(0), range.at(1), range.at(2)});
  line.at("times").get_to(record.ReadTimes.Counts);
  record.BytesRead = line.at("bytes_read");
  record.Seconds = line.at("seconds");
  return record;
}

}  // namespace

namespace {

std::vector<std::uint64_t> ItemDevices(const TVerifySetupInfo& setup) {
  std::vector<std::uint64_t> devices;
  for (const std::string& item : setup.VerifyList) {
    const std::string directory = Platform::DirectoryPart(item);
    devices.push_back(Platform::DeviceOf(directory.empty() ? "." : directory));
  }
  return devices;
}

}  // namespace

TResumeState::TResumeState(std::string fileName, const TVerifySetupInfo& setup)
    : FileName(std::move(fileName)), Devices(ItemDevices(setup)) {}

TResumeState::~TResumeState() = default;

std::unique_ptr<TResumeState> TResumeState::Open(const std::string& fileName,
                                                 const TVerifySetupInfo& setup,
                                                 const TResumeChoices& choices,
                                                 std::string& failure) {
  std::unique_ptr<TResumeState> state(new TResumeState(fileName, setup));
  const std::string key = Dump(KeyOf(setup, choices));
  int error = 0;
  const std::optional<std::string> content = Platform::ReadWholeFile(fileName, error);
  const bool fresh = !content || content->empty();
  if (!content && error != 0) {
    failure = "不能读状态文件'" + fileName + "': " + Platform::SystemErrorText(error);
    return nullptr;
  }
  if (!fresh && !state->Load(*content, key, failure)) return nullptr;
  if (const int code = state->Journal.Open(fileName)) {
    failure = Platform::TJournalFile::InUse(code)
                  ? "状态文件'" + fileName + "'正由另一次校验使用, 未使用."
                  : WriteFailure(fileName, code);
    return nullptr;
  }
  // The header once, then for each run the devices its records lie on.
  std::string start;
  if (fresh) start = Dump({{"format", Format}, {"version", 1}, {"key", Json::parse(key)}}) + "\n";
  start += Dump({{"devices", state->Devices}}) + "\n";
  int code = state->Journal.Append(start);
  if (code == 0) code = state->Journal.Sync();
  if (code != 0) {
    failure = WriteFailure(fileName, code);
    return nullptr;
  }
  state->Syncer = EveryInterval(SyncInterval, [raw = state.get()] { raw->SyncIfWritten(); });
  return state;
}

// The header must name this run; of the records, every whole line counts
// (a torn last one, or one the reader cannot take, is passed over).
bool TResumeState::Load(const std::string& content, const std::string& key, std::string& failure) {
  std::size_t start = 0;
  bool header = true;
  std::vector<std::uint64_t> devices;  // of the run that wrote the lines that follow
  for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
    const Json line = Json::parse(content.substr(start, end - start), nullptr, false);
    if (header) {
      const bool ours = line.is_object() && line.contains("format") && line["format"].is_string() &&
                        line["format"] == Format && line.contains("key");
      if (!ours) {
        failure = "'" + FileName + "' 不是 korvane-cli 的状态文件, 未使用.";
        return false;
      }
      if (Dump(line["key"]) != key) {
        failure = "状态文件'" + FileName +
                  "'属于另一次校验 (文件名或选项不同), 未使用也未改动; 请用原来的文件名和选项,"
                  " 或换一个状态文件.";
        return false;
      }
      header = false;
      continue;
    }
    try {
      if (line.contains("devices")) devices = line["devices"].get<std::vector<std::uint64_t>>();
      else Keep(RecordOf(line), devices);
    } catch (const std::exception&) {
      // Not a record this program wrote whole: checked again.
    }
  }
  if (header) {
    failure = "'" + FileName + "' 不是 korvane-cli 的状态文件, 未使用.";
    return false;
  }
  return true;
}

void TResumeState::Keep(TFileRecord record, const std::vector<std::uint64_t>& devices) {
  TKept kept{std::move(record), -1};
  for (std::size_t i = 0; i < devices.size() && i < Devices.size(); ++i)
    if (devices[i] == kept.Record.Found.Device) kept.Item = static_cast<int>(i);
  Records.insert_or_assign(kept.Record.Path, std::move(kept));
}

std::size_t TResumeState::Resumed() const {
  return static_cast<std::size_t>(std::count_if(Records.begin(), Records.end(), [](const auto& kept) {
    return kept.second.Record.StoppedAt < 0;
  }));
}

const TFileRecord* TResumeState::Find(const std::string& path,
                                      const Platform::TFileIdentity& found) const {
  const TFileRecord* record = Match(path, found);
  return record != nullptr && record->StoppedAt < 0 ? record : nullptr;
}

const TFileRecord* TResumeState::PartRead(const std::string& path,
                                          const Platform::TFileIdentity& found) const {
  const TFileRecord* record = Match(path, found);
  return record != nullptr && record->StoppedAt >= 0 ? record : nullptr;
}

// The record kept of the file at path, when it is the same file still.
const TFileRecord* TResumeState::Match(const std::string& path,
                                       const Platform::TFileIdentity& found) const {
  const auto kept = Records.find(path);
  if (kept == Records.end() || found.Inode == 0) return nullptr;
  const Platform::TFileIdentity& then = kept->second.Record.Found;
  const std::uint64_t device =
      kept->second.Item >= 0 ? Devices[static_cast<std::size_t>(kept->second.Item)] : then.Device;
  // The change time too: a file rewritten in place with its old size and
  // modification time (rsync --inplace -t, touch -r) has new blocks.
  const bool same = device == found.Device && then.Inode == found.Inode &&
                    then.Size == found.Size && then.ModifiedNs == found.ModifiedNs &&
                    then.ChangedNs == found.ChangedNs;
  return same ? &kept->second.Record : nullptr;
}

void TResumeState::FileFinished(const TFileRecord& record) {
  if (record.Outcome == TFileOutcome::SearchFailure) return;
  // A record handed on from this state is in the file already.
  const auto kept = Records.find(record.Path);
  if (kept != Records.end() && &kept->second.Record == &record) return;
  if (!Resumable(record)) return;
  if (record.Outcome != TFileOutcome::Correct && Platform::MediumGone(record.ErrorCode)) {
    ++MediumGone;
    return;
  }
  Write(record);
}

// A line for the file in progress: a later line of the file, part-read or
// checked through, stands in for it.
void TResumeState::FileProgress(const TFileRecord& soFar) { Write(soFar); }

void TResumeState::Write(const TFileRecord& record) {
  if (record.Found.Inode == 0) return;
  if (const int code = Journal.Append(Dump(LineOf(record)) + "\n")) WriteError = code;
  if (++Unsynced >= SyncFiles) {
    Unsynced = 0;
    if (const int code = Journal.Sync()) WriteError = code;
  }
}

// At least every SyncInterval, whatever the worker does: a file that takes
// an hour to read must not leave the files before it unsynced for an hour.
void TResumeState::SyncIfWritten() {
  if (Unsynced.exchange(0) == 0) return;
  if (const int code = Journal.Sync()) WriteError = code;
}

std::optional<std::string> TResumeState::Finish(bool completed) {
  Syncer = {};
  if (const int code = Journal.Sync()) WriteError = code;
  if (WriteError != 0) return WriteFailure(FileName, WriteError);
  if (!completed || MediumGone > 0) return std::nullopt;
  if (const int code = Platform::RemoveFile(FileName)) return WriteFailure(FileName, code);
  return std::nullopt;
}
