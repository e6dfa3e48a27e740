#pragma once
// Every run's log kept on the disk as it is made, so that a key pressed
// twice, a close box or a crash never costs the user a run of hours. One
// file per run in the user's state folder, named by the run's start time,
// holding exactly the bytes "保存记录" would save; the newest few are kept.
// Lines reach the disk at least once a second, and at the end of every file
// that took a second or more, so that a crash loses at most the last
// second. Nothing here ever disturbs the run: a failure is kept for the
// window to tell, and one line on stderr.
#include <chrono>
#include <memory>
#include <string_view>

#include <QDateTime>
#include <QFile>
#include <QString>

#include "LogFile.h"
#include "LogWriter.h"
#include "Mutex.h"
#include "VerifyObserver.h"

// $XDG_STATE_HOME/korvane/logs, or ~/.local/state/korvane/logs.
QString KeptLogFolder();

inline constexpr int KeptLogCount = 50;

// Removes the oldest run logs in folder beyond keep; other files are left.
void PruneKeptLogs(const QString& folder, int keep = KeptLogCount);

// The status's log, and the same lines into the run's file. As an observer
// of the run (after the log's writer) it sees where files end.
class TKeptLog : public TLineSink, public TVerifyObserver {
 public:
  // Makes the run's file in folder: "2026-12-07_10-00-00.txt", or with
  // "_2", "_3"... when that name is taken.
  TKeptLog(TVerifyStatus& status, const QString& folder, const QDateTime& started);
  ~TKeptLog() override;
  TKeptLog(const TKeptLog&) = delete;
  TKeptLog& operator=(const TKeptLog&) = delete;

  // On the run's thread.
  void Append(std::string_view line) override;
  void FileStarted(std::string_view path, std::int64_t size, Platform::TAttributes attributes) override;
  void FileFinished(const TFileRecord& record) override;
  // On any thread, as often as it likes: writes what has gathered once a
  // second has passed since the last write.
  void FlushIfDue();
  // Once the run's thread has ended: the last lines, then the oldest
  // logs beyond KeptLogCount go.
  void Finish();
  // For a run that never started: the file goes.
  void Discard();

  // Empty when the file could not be made.
  QString FileName() const;
  // Why the log is not, or not wholly, on the disk; empty when it is.
  QString Failure() const;

  static constexpr std::chrono::seconds FlushEvery{1};

 private:
  using TClock = std::chrono::steady_clock;
  void Write() REQUIRES(FMutex);
  void Fail(const QString& why) REQUIRES(FMutex);

  TStatusLines FStatusLines;
  QString FFolder;
  mutable TMutex FMutex;
  QFile FFile GUARDED_BY(FMutex);
  TLogEncoder FEncoder GUARDED_BY(FMutex);
  QString FFailure GUARDED_BY(FMutex);
  TClock::time_point FWritten GUARDED_BY(FMutex);
  // The run's thread's alone.
  TClock::time_point FFileStarted;
};
