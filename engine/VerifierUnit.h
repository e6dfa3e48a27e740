#pragma once
// The worker: reads every file of the chosen items and writes what it
// finds into the shared status.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "Attributes.h"
#include "CommonDataUnit.h"
#include "ContentCheck.h"
#include "CountingWalk.h"
#include "DepthFirstWalk.h"
#include "DirSearch.h"
#include "DirectoryChain.h"
#include "EndingThread.h"
#include "File.h"
#include "FinishedFiles.h"
#include "LogWriter.h"
#include "ReadAhead.h"
#include "RunSetup.h"
#include "ObserverFanOut.h"
#include "VerdictQueue.h"
#include "ReaderThread.h"

// Raised when a run is asked for with options no run can use.
class EVerifyError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The attributes the walk searches files with. The selection dialog's file
// list searches with the same set, so that it shows exactly what a run checks.
Platform::TAttributes FileSearchAttributes(bool allFileAttributes);

// How a run reads: chosen by the program that starts it for this run only,
// never kept in the settings file.
struct TRunOptions {
  // Lets reads be served from the system's cache. Quick, but it proves only
  // that the data is in memory: a file copied a moment ago passes even when
  // its medium can no longer return it. Off, every file's cached pages are
  // dropped before it is read, so each byte checked comes from the medium.
  bool Cached = false;
  // Asks the medium for the files that come next while one is read. It
  // changes nothing in what a run reports; off only to show that.
  bool ReadAhead = true;
  // Sees every byte the run reads and may fail a file for its contents;
  // owned by the caller and used by the worker thread only. Null: none.
  TContentCheck* Contents = nullptr;
  // Adds up the run's files and bytes beside it, so that the fronts can
  // show the whole run's progress and the time left.
  bool Count = true;
  // With the error position on, a read error does not end the file: the
  // check goes on to its end and its record lists every bad range.
  bool AllErrors = false;
  // A read call that takes longer than this is noted in the file's record
  // as a slow range. Slow is no failure: a file with slow ranges and no
  // error is correct.
  std::chrono::milliseconds SlowRead{1000};
  // A read blocked this long fails its file with the system's code for a
  // timeout, and the run goes on; zero: no limit, as a slow medium may
  // still answer. Only in a run on its own thread, whose reads the worker
  // can leave.
  std::chrono::seconds ReadTimeout{0};
  // Who takes the run's events and file records. None: the log goes into
  // the status, where the windows read it.
  std::vector<TVerifyObserver*> Observers{};
  // Files an interrupted run has checked already: not read again; and
  // files it read part of: read on from there. Owned by the caller. Null:
  // none.
  const TFinishedFiles* Finished = nullptr;
};

class TVerifier {
 public:
  // Starts a run over setup's items at once on a thread of its own, with a
  // copy of the settings taken now under their lock. The caller has reset
  // the status. Throws EVerifyError, before anything is started, when the
  // error position is on and the read unit lies outside 1..1048576.
  TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TRunOptions options = {},
            TBufferAllocator allocate = AllocateReadBuffer);
  // For driving single checks from the caller's own thread, with the
  // caller's read buffer. These follow the settings as they are at each
  // call: the caller's thread is the one that changes them.
  struct TNoThread {
    std::byte* Buffer = nullptr;
    std::size_t Size = 0;
  };
  TVerifier(TVerifyStatus& status, TVerifySetupInfo& setup, TNoThread buffer,
            TRunOptions options = {});
  ~TVerifier();
  TVerifier(const TVerifier&) = delete;
  TVerifier& operator=(const TVerifier&) = delete;

  // Asks the worker to wind down; also ends a pause so that it can.
  void Terminate();
  // Returns when the run's thread has ended.
  void WaitFor();
  // The same within limit; false when the thread still runs then.
  bool WaitFor(std::chrono::milliseconds limit);
  // Ends a run whose thread is held in the system and does not come back
  // (an open, a listing or a read on a device that answers nothing): the
  // run is stopped, its closing events are sent from the caller's thread,
  // and the status says it is over. Nothing the thread does afterwards
  // reaches the observers. The thread is let go still using this object,
  // the status and the run's options: the caller ends the process without
  // destroying any of them. False, with nothing let go, when the thread
  // has ended after all, or is passing an event on (its output may be
  // waiting to be taken): the caller tries again a moment later.
  bool Abandon();
  // How long a stopped run's thread may take to wind down before a front
  // lets it go: a thread held in the system by a device that answers
  // nothing must not keep the log, the report and the state from being
  // written, nor the program from ending. Then the wait before Abandon is
  // tried again.
  static constexpr std::chrono::milliseconds WindDownLimit{400};
  static constexpr std::chrono::milliseconds AbandonRetry{50};
  bool Terminated() const { return StopSource.stop_requested(); }

  // Reads one file to its listed size in read units and records the
  // outcome. Needs a read unit in range and a buffer at least that long.
  void VerifyFile(const std::string& path, std::int64_t size, Platform::TAttributes attributes);

  // Checks the files an item names, and with AllSubdirectories the files of
  // that name in every subdirectory, depth first. A directory that could
  // not be searched gets a failure block in the log and the error list,
  // and is added to the status's SearchFailures.
  void ScanDirectory(const std::string& path);

 private:
  void Execute(TBufferAllocator allocate);
  TReadAheadPlan ReadAheadPlan() const;
  void OpenLog();
  void VerifyItems();
  void CloseLog();
  template <class TEvent>
  void Notify(const TEvent& event) {
    event(*Events);
  }
  TRunTotals Totals();

  Platform::TAttributes FileAttributeSet() const;
  void VerifyItem(const std::string& item);
  void NoteStopped();
  std::vector<std::string> ScanLevel(const std::string& path, Platform::TDirectoryChain& chain);
  bool ScanFiles(const std::string& path, const std::string& directory,
                 Platform::TDirectoryChain& chain);
  void NoteSearchFailure(const std::string& path, int code, bool driveGone);
  struct TFileCheck;

  // VerifyFile, opening the file by its name in directory when one is given.
  void CheckFile(Platform::TDirectoryChain* directory, const std::string& path,
                 std::int64_t size, Platform::TAttributes attributes,
                 const Platform::TFileIdentity& found = {});
  bool DropUnlessDroppedAhead(Platform::TReadFile& file, const std::string& path);
  int OpenFile(Platform::TReadFile& file, Platform::TDirectoryChain* directory,
               const std::string& path, TFileCheck& check);

  void AnnounceFile(const std::string& path, std::int64_t size, Platform::TAttributes attributes);
  bool ReplayFinished(const std::string& path, const Platform::TSearchEntry& entry);
  void CountReadTimes(const TFileRecord& record);
  void ReadUnits(Platform::TReadFile& file, std::int64_t size, TFileCheck& check);
  void ReadStretches(Platform::TReadFile& file, std::int64_t size, TFileCheck& check);
  std::int64_t GoOnFromPartRead(Platform::TReadFile& file, TStretchReads& reads,
                                TFileCheck& check, TStretchRead& first);
  void NoteProgress(const TStretchReads& reads, const TStretchRead& first, std::int64_t at,
                    TFileCheck& check);
  void NoteReadFailure(const TStretchRead& failure, TFileCheck& check);
  void EndReads(const TStretchReads& reads, const TStretchRead& first, std::int64_t stoppedAt,
                bool unread, TFileCheck& check);
  bool ReadingInterrupted() const;
  void RecordOutcome(const std::string& path, TFileCheck& check);
  void RecordError(const std::string& path, TFileCheck& check);
  void JudgeContents(TFileRecord record);
  void CountFinished(TFileRecord& record, std::optional<TContentFailure> failure)
      REQUIRES(Status.Mutex);
  void CountCorrect(const std::string& path, std::int64_t size) REQUIRES(Status.Mutex);
  void CountFailed(const std::string& path, std::string message) REQUIRES(Status.Mutex);
  void VerifyFilesNotMet();

  TVerifyStatus& Status;
  // The settings of single checks, which follow them at each call; null in
  // a run on its own thread, which works from its copy alone.
  TVerifySetupInfo* LiveSetup = nullptr;
  // What the worker knows of the settings: taken when a run starts, or at
  // each directory check driven from the caller's thread.
  TRunSetup Setup;
  const TRunOptions Options;
  // The read unit of a run on its own thread, taken when it starts.
  std::int64_t RunReadUnit = 0;
  std::int64_t ReadUnit() const { return LiveSetup ? LiveSetup->ReadUnit : RunReadUnit; }
  // The read buffer: the worker's alone.
  std::byte* Buffer = nullptr;
  std::size_t BufferSize = 0;
  // The log in the status, when the caller names no observers.
  std::unique_ptr<TStatusLines> StatusLines;
  std::unique_ptr<TStoreLines> StatusErrorList;
  std::unique_ptr<TLogWriter> StatusLog;
  std::unique_ptr<TObserverFanOut> Observers;
  // With a content check: files wait there for their verdicts, in order.
  std::unique_ptr<TVerdictQueue> Verdicts;
  // Where the run's events go: the verdict queue or else the observers.
  TVerifyObserver* Events = nullptr;
  // Makes the reads of a run on its own thread, so that the worker can
  // leave one that hangs; used by the worker thread only.
  std::unique_ptr<TReaderThread> Reader;
  // The run's read-ahead helper; used by the worker thread only.
  std::unique_ptr<TReadAhead> Ahead;
  // Used by the worker thread only.
  TSubdirectoryCache Subdirectories;
  std::unique_ptr<Platform::TDirectoryChain> ItemChain;
  bool ItemIsLiteral = false;
  // The directory of the last scan line could not be searched: its block
  // is written.
  bool ScanLineFailed = false;
  // Blocks written for directories that could not be searched, a directory
  // counted again under each item that reached it.
  std::int64_t SearchFailureBlocks = 0;
  std::unique_ptr<TCountingWalk> Counting;
  // How long the next file's first read asks for: what the last file's
  // reads had come to, so that a medium slow to answer is not learned anew
  // with each file; 0 for one unit. Used by the worker thread only.
  std::int64_t ReadLength = 0;
  // The code of a file's open that found the drive gone, in the file phase
  // under way; 0 otherwise. Used by the worker thread only.
  int DriveLostCode = 0;
  // How long the run's reads took, and its files with slow ranges: written
  // by the worker, read for the totals also by a stop that lets the worker
  // go, so both under the status lock.
  TReadTimeHistogram ReadTimes;
  std::int64_t FilesSlow = 0;
  std::stop_source StopSource;
  TEndingThread Thread;
};
