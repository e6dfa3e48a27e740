#pragma once
// korvane-cli --resume: a run that can go on where an interrupted one of
// the same items and options stopped. The state file names the items and
// options, then holds one line for each file checked, with its record,
// keyed by device, inode, size, modification and change time, so that a
// file changed since is checked again. Each run also notes the identity of
// every file system its records lie on (UUID, drive serial): a copy of a
// disk mounted where the original was holds files with the same inodes and
// times, and none of them is taken for the one checked. Only an index of
// the records is kept in memory; a record is read again from the file when
// it is replayed. Lines are appended as the files are
// checked, and for a large file also as it is read, so that an interrupted
// run goes on within the file it was in. Lines are put on the medium at
// least every 2 seconds and every 1,000 files: a kill or a power cut costs
// at most those, and a torn last line is passed over. One run at a time
// uses the file; a run that completes, having reached every item and
// directory, removes it.
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FinishedFiles.h"
#include "InputFile.h"
#include "JournalFile.h"
#include "Mounts.h"
#include "VerifyObserver.h"
#include "VerifySetupInfo.h"

// The options besides the setup's that change what a check finds.
struct TResumeChoices {
  bool Cached = false;
  bool AllErrors = false;
  int SlowMs = 0;
  int TimeoutSeconds = 0;
};

class TResumeState : public TFinishedFiles, public TVerifyObserver {
 public:
  static constexpr std::chrono::seconds SyncInterval{2};
  static constexpr std::int64_t SyncFiles = 1000;

  // The state of a run of these items and options: read when fileName
  // exists, created otherwise. Null, with the message in failure, when it
  // cannot be used: it cannot be read or written, or it belongs to other
  // items or options (then it is left as it was).
  static std::unique_ptr<TResumeState> Open(const std::string& fileName,
                                            const TVerifySetupInfo& setup,
                                            const TResumeChoices& choices, std::string& failure);
  ~TResumeState() override;

  std::optional<TFileRecord> Find(const std::string& path,
                                  const Platform::TFileIdentity& found) const override;
  std::optional<TFileRecord> PartRead(const std::string& path,
                                      const Platform::TFileIdentity& found) const override;
  void FileFinished(const TFileRecord& record) override;
  void FileProgress(const TFileRecord& soFar) override;

  // Files checked through, taken from the state file when it was opened.
  std::size_t Resumed() const { return ResumedFiles; }
  // Records of an older state file, which named no file system: checked
  // again, since nothing tells their disk from a copy of it.
  std::size_t Unidentified() const { return UnidentifiedRecords; }
  // Lines longer than the reader takes, passed over.
  std::size_t TooLongLines() const { return LongLines; }
  // After the run. A completed run needs the state no more: the file goes.
  // Otherwise it is put on the medium and kept. On failure, the message.
  std::optional<std::string> Finish(bool completed);
  // Files the run could not reach because their medium was gone: the run
  // is not complete, and they are checked when it is resumed.
  std::int64_t Unreached() const { return MediumGone; }

 private:
  // Where a record stands in the file, and the file system it lay on.
  struct TIndexed {
    std::uint64_t PathHash = 0;
    std::int64_t Offset = 0;
    std::uint32_t Length = 0;
    std::uint16_t FileSystem = 0;  // in FileSystems
    bool PartRead = false;
  };
  explicit TResumeState(std::string fileName);
  bool Load(const std::string& key, std::string& failure);
  bool LoadRecords(std::string& failure);
  void Index(const Platform::TInputLine& line, const TFileRecord& record,
             const std::map<std::uint64_t, std::uint16_t>& runFileSystems);
  std::uint16_t FileSystemIndex(const Platform::TFileSystemId& id);
  void SyncIfWritten();
  std::optional<TFileRecord> Match(const std::string& path, const Platform::TFileIdentity& found) const;
  bool SameFileSystem(const TIndexed& indexed, const TFileRecord& then, std::uint64_t now) const;
  Platform::TFileSystemId IdOf(std::uint64_t device) const;
  void Write(const TFileRecord& record);

  const std::string FileName;
  Platform::TInputFile Reader;  // the records, read again when replayed
  Platform::TJournalFile Journal;
  // By PathHash, one per path: the last line. Two paths of one hash (a
  // chance of one in billions) keep the later one's record; the other
  // file is checked again. A deque: grown without copies to twice its size.
  std::deque<TIndexed> Records;
  std::vector<Platform::TFileSystemId> FileSystems;
  std::size_t ResumedFiles = 0;
  std::size_t UnidentifiedRecords = 0;
  std::size_t LongLines = 0;
  // The file systems' identities as this run finds them, by device, and
  // the devices this run has noted in the file.
  mutable std::mutex IdsMutex;
  mutable std::map<std::uint64_t, Platform::TFileSystemId> Ids;
  std::set<std::uint64_t> DevicesNoted;
  std::int64_t MediumGone = 0;
  std::atomic<std::int64_t> Unsynced{0};
  std::atomic<int> WriteError{0};
  std::jthread Syncer;  // last: stopped before the rest goes
};
