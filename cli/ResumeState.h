#pragma once
// korvane-cli --resume: a run that can go on where an interrupted one of
// the same items and options stopped. The state file names the items and
// options, then holds one line for each file checked, with its record,
// keyed by device, inode, size, modification and change time, so that a
// file changed since is checked again. Lines are appended as the files are
// checked, and for a large file also as it is read, so that an interrupted
// run goes on within the file it was in. Lines are put on the medium at
// least every 2 seconds and every 1,000 files: a kill or a power cut costs
// at most those, and a torn last line is passed over. One run at a time
// uses the file; a run that completes, having reached every item and
// directory, removes it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "FinishedFiles.h"
#include "JournalFile.h"
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

  const TFileRecord* Find(const std::string& path,
                          const Platform::TFileIdentity& found) const override;
  const TFileRecord* PartRead(const std::string& path,
                              const Platform::TFileIdentity& found) const override;
  void FileFinished(const TFileRecord& record) override;
  void FileProgress(const TFileRecord& soFar) override;

  // Files checked through, taken from the state file when it was opened.
  std::size_t Resumed() const;
  // After the run. A completed run needs the state no more: the file goes.
  // Otherwise it is put on the medium and kept. On failure, the message.
  std::optional<std::string> Finish(bool completed);
  // Files the run could not reach because their medium was gone: the run
  // is not complete, and they are checked when it is resumed.
  std::int64_t Unreached() const { return MediumGone; }

 private:
  // A record, and the item whose file system it lay on (-1: none): a disk
  // plugged in again may come back under another device number, and its
  // files are still the ones checked.
  struct TKept {
    TFileRecord Record;
    int Item = -1;
  };
  TResumeState(std::string fileName, const TVerifySetupInfo& setup);
  bool Load(const std::string& content, const std::string& key, std::string& failure);
  void Keep(TFileRecord record, const std::vector<std::uint64_t>& devices);
  void SyncIfWritten();
  const TFileRecord* Match(const std::string& path, const Platform::TFileIdentity& found) const;
  void Write(const TFileRecord& record);

  const std::string FileName;
  // The device of each item's directory in this run.
  const std::vector<std::uint64_t> Devices;
  Platform::TJournalFile Journal;
  std::unordered_map<std::string, TKept> Records;  // by path
  std::int64_t MediumGone = 0;
  std::atomic<std::int64_t> Unsynced{0};
  std::atomic<int> WriteError{0};
  std::jthread Syncer;  // last: stopped before the rest goes
};
