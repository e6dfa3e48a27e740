#pragma once
// Every run's log kept on the disk as it is made, so that a key pressed
// twice, a close box or a crash never costs the user a run of hours. One
// file per run in the user's state folder, named by the run's start time,
// holding exactly the bytes "保存记录" would save; the newest few are kept.
// Nothing here ever disturbs the run: a failure is one line on stderr.
#include <memory>
#include <string_view>

#include <QDateTime>
#include <QFile>
#include <QString>

#include "LogFile.h"
#include "LogWriter.h"

// $XDG_STATE_HOME/korvane/logs, or ~/.local/state/korvane/logs.
QString KeptLogFolder();

inline constexpr int KeptLogCount = 50;

// Removes the oldest run logs in folder beyond keep; other files are left.
void PruneKeptLogs(const QString& folder, int keep = KeptLogCount);

// The status's log, and the same lines into the run's file.
class TKeptLog : public TLineSink {
 public:
  // Makes the run's file in folder: "2026-12-07_10-00-00.txt", or with
  // "_2", "_3"... when that name is taken.
  TKeptLog(TVerifyStatus& status, const QString& folder, const QDateTime& started);
  ~TKeptLog() override;
  TKeptLog(const TKeptLog&) = delete;
  TKeptLog& operator=(const TKeptLog&) = delete;

  // On the run's thread.
  void Append(std::string_view line) override;
  // Once the run's thread has ended: the last lines, then the oldest
  // logs beyond KeptLogCount go.
  void Finish();
  // For a run that never started: the file goes.
  void Discard();

  // Empty when the file could not be made.
  QString FileName() const;

 private:
  void Write();
  void Fail(const QString& why);

  TStatusLines FStatusLines;
  QString FFolder;
  QFile FFile;
  TLogEncoder FEncoder;
};
