#include "ResumeState.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "Base64.h"
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

// Throws nlohmann's exceptions for a line that is not a record.
TFileRecord RecordOfLine(std::string_view text) { return RecordOf(Json::parse(text)); }

Json FileSystemLine(std::uint64_t device, const Platform::TFileSystemId& id) {
  return {{"file_system", {{"dev", device}, {"uuid", id.Uuid}, {"serial", id.Serial}}}};
}

}  // namespace

TResumeState::TResumeState(std::string fileName) : FileName(std::move(fileName)) {
  // Index 0: a run that noted no file system (an older program's).
  FileSystems.emplace_back();
}

TResumeState::~TResumeState() = default;

std::unique_ptr<TResumeState> TResumeState::Open(const std::string& fileName,
                                                 const TVerifySetupInfo& setup,
                                                 const TResumeChoices& choices,
                                                 std::string& failure) {
  std::unique_ptr<TResumeState> state(new TResumeState(fileName));
  const std::string key = Dump(KeyOf(setup, choices));
  const int error = state->Reader.Open(fileName);
  if (error != 0 && error != ENOENT) {
    failure = "不能读状态文件'" + fileName + "': " + Platform::InputFileErrorText(error);
    return nullptr;
  }
  bool fresh = error == ENOENT;
  if (!fresh && !state->Load(key, failure)) {
    if (failure.empty()) fresh = true;  // an empty file
    else return nullptr;
  }
  if (const int code = state->Journal.Open(fileName)) {
    failure = Platform::TJournalFile::InUse(code)
                  ? "状态文件'" + fileName + "'正由另一次校验使用, 未使用."
                  : WriteFailure(fileName, code);
    return nullptr;
  }
  // The header once, then a line that begins each run: the devices its
  // records lie on are named anew, as the system numbers them this time.
  std::string start;
  if (fresh) start = Dump({{"format", Format}, {"version", 2}, {"key", Json::parse(key)}}) + "\n";
  start += Dump({{"run", 2}}) + "\n";
  int code = state->Journal.Append(start);
  if (code == 0) code = state->Journal.Sync();
  if (code != 0) {
    failure = WriteFailure(fileName, code);
    return nullptr;
  }
  state->Syncer = EveryInterval(SyncInterval, [raw = state.get()] { raw->SyncIfWritten(); });
  return state;
}

// The header must name this run. False with failure empty for an empty file.
bool TResumeState::Load(const std::string& key, std::string& failure) {
  Platform::TInputLine line;
  if (!Reader.Next(line)) {
    if (Reader.Error() == 0) return false;
    failure = "不能读状态文件'" + FileName + "': " + Platform::InputFileErrorText(Reader.Error());
    return false;
  }
  const Json header = line.TooLong ? Json() : Json::parse(line.Text, nullptr, false);
  const bool ours = line.Ended && header.is_object() && header.contains("format") &&
                    header["format"].is_string() && header["format"] == Format && header.contains("key");
  if (!ours) {
    failure = "'" + FileName + "' 不是 korvane-cli 的状态文件, 未使用.";
    return false;
  }
  if (Dump(header["key"]) != key) {
    failure = "状态文件'" + FileName +
              "'属于另一次校验 (文件名或选项不同), 未使用也未改动; 请用原来的文件名和选项,"
              " 或换一个状态文件.";
    return false;
  }
  return LoadRecords(failure);
}

// Every whole line counts; a torn last one, or one the reader cannot
// take, is passed over. Of several lines of one path, the last stands.
bool TResumeState::LoadRecords(std::string& failure) {
  std::map<std::uint64_t, std::uint16_t> runFileSystems;  // of the run the lines belong to
  for (Platform::TInputLine line; Reader.Next(line);) {
    if (line.TooLong) ++LongLines;
    if (line.TooLong || !line.Ended) continue;
    try {
      const Json parsed = Json::parse(line.Text);
      if (parsed.contains("run") || parsed.contains("devices")) {
        runFileSystems.clear();
      } else if (parsed.contains("file_system")) {
        const Json& fs = parsed["file_system"];
        runFileSystems[fs.at("dev").get<std::uint64_t>()] =
            FileSystemIndex({fs.at("uuid").get<std::string>(), fs.at("serial").get<std::string>()});
      } else {
        Index(line, RecordOf(parsed), runFileSystems);
      }
    } catch (const std::exception&) {
      // Not a line this program wrote whole: what it held is checked again.
    }
  }
  if (Reader.Error() != 0) {
    failure = "不能读状态文件'" + FileName + "': " + Platform::InputFileErrorText(Reader.Error());
    return false;
  }
  std::ranges::stable_sort(Records, {}, &TIndexed::PathHash);
  // The last of each run of equal hashes: the latest line of the path.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < Records.size(); ++i) {
    if (i + 1 == Records.size() || Records[i + 1].PathHash != Records[i].PathHash)
      Records[kept++] = Records[i];
  }
  Records.resize(kept);
  Records.shrink_to_fit();
  for (const TIndexed& indexed : Records) {
    if (indexed.FileSystem == 0) ++UnidentifiedRecords;
    else if (!indexed.PartRead) ++ResumedFiles;
  }
  return true;
}

void TResumeState::Index(const Platform::TInputLine& line, const TFileRecord& record,
                         const std::map<std::uint64_t, std::uint16_t>& runFileSystems) {
  const auto fs = runFileSystems.find(record.Found.Device);
  Records.push_back({std::hash<std::string_view>{}(record.Path), line.Offset,
                     static_cast<std::uint32_t>(line.Text.size()),
                     fs == runFileSystems.end() ? std::uint16_t{0} : fs->second, record.StoppedAt >= 0});
}

std::uint16_t TResumeState::FileSystemIndex(const Platform::TFileSystemId& id) {
  const auto known = std::find(FileSystems.begin() + 1, FileSystems.end(), id);
  if (known != FileSystems.end())
    return static_cast<std::uint16_t>(known - FileSystems.begin());
  if (FileSystems.size() > 0xFFFF) throw std::length_error("file systems");
  FileSystems.push_back(id);
  return static_cast<std::uint16_t>(FileSystems.size() - 1);
}

std::optional<TFileRecord> TResumeState::Find(const std::string& path,
                                              const Platform::TFileIdentity& found) const {
  std::optional<TFileRecord> record = Match(path, found);
  if (record && record->StoppedAt >= 0) record.reset();
  if (record) record->Replayed = true;
  return record;
}

std::optional<TFileRecord> TResumeState::PartRead(const std::string& path,
                                                  const Platform::TFileIdentity& found) const {
  std::optional<TFileRecord> record = Match(path, found);
  if (record && record->StoppedAt < 0) record.reset();
  return record;
}

// The record kept of the file at path, when it is the same file still.
std::optional<TFileRecord> TResumeState::Match(const std::string& path,
                                               const Platform::TFileIdentity& found) const {
  if (found.Inode == 0) return std::nullopt;
  const std::uint64_t hash = std::hash<std::string_view>{}(path);
  const auto indexed = std::ranges::lower_bound(Records, hash, {}, &TIndexed::PathHash);
  if (indexed == Records.end() || indexed->PathHash != hash || indexed->FileSystem == 0)
    return std::nullopt;
  std::string text;
  if (Reader.ReadAt(indexed->Offset, indexed->Length, text) != 0) return std::nullopt;
  TFileRecord record;
  try {
    record = RecordOfLine(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  const Platform::TFileIdentity& then = record.Found;
  // The change time too: a file rewritten in place with its old size and
  // modification time (rsync --inplace -t, touch -r) has new blocks.
  const bool same = record.Path == path && SameFileSystem(*indexed, record, found.Device) &&
                    then.Inode == found.Inode && then.Size == found.Size &&
                    then.ModifiedNs == found.ModifiedNs && then.ChangedNs == found.ChangedNs;
  if (!same) return std::nullopt;
  return record;
}

// A disk plugged in again may come back under another device number: a
// file system known by its identity is the same one under any number. One
// without (tmpfs, a network share) must be on the very same device.
bool TResumeState::SameFileSystem(const TIndexed& indexed, const TFileRecord& then,
                                  std::uint64_t now) const {
  const Platform::TFileSystemId& recorded = FileSystems[indexed.FileSystem];
  const Platform::TFileSystemId current = IdOf(now);
  if (recorded.Known()) return current == recorded;
  return !current.Known() && then.Found.Device == now;
}

Platform::TFileSystemId TResumeState::IdOf(std::uint64_t device) const {
  std::lock_guard hold(IdsMutex);
  const auto known = Ids.find(device);
  if (known != Ids.end()) return known->second;
  return Ids[device] = Platform::FileSystemIdOf(device);
}

void TResumeState::FileFinished(const TFileRecord& record) {
  if (record.Outcome == TFileOutcome::SearchFailure) return;
  // A record handed on from this state is in the file already.
  if (record.Replayed || !Resumable(record)) return;
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
  std::string lines;
  // Before the first record on a device, in each run, what file system it is.
  if (DevicesNoted.insert(record.Found.Device).second)
    lines = Dump(FileSystemLine(record.Found.Device, IdOf(record.Found.Device))) + "\n";
  lines += Dump(LineOf(record)) + "\n";
  if (const int code = Journal.Append(lines)) WriteError = code;
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
