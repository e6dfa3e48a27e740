#pragma once
// Where korvane-cli's log goes while the run goes on: its lines are passed
// on as they are made, so that `korvane-cli … | tee` and `tail -f` follow
// the run, and nothing of the log is kept in memory. A terminal gets every
// line at once; a pipe or a file gets them in blocks, written at least once
// a second.
//
// The run's thread appends; the main thread calls FlushIfDue while it waits
// and Commit once the run is over.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "LineSink.h"
#include "LogFile.h"
#include "SafeFile.h"
#include "VerifyObserver.h"

class TLogOutput : public TLineSink {
 public:
  static constexpr std::chrono::seconds FlushInterval{1};

  ~TLogOutput() override = default;
  void Append(std::string_view line) override;
  // Writes what is waiting when it has waited a second; never waits for a
  // write in progress on the run's thread.
  void FlushIfDue();
  // Writes what is waiting now.
  void Flush();
  // How long until FlushIfDue has something to do, for the main thread's wait.
  int MillisecondsUntilDue() const;
  // Writes the rest and puts the log where it belongs. On failure, the
  // message for the user.
  std::optional<std::string> Commit();
  // For a program about to die of a signal: leaves no half-written file
  // behind (an older log stays as it was). Safe while the run still writes.
  virtual void Abandon() {}
  // Whether the log goes to a pipe or FIFO whose reader has gone
  // (`korvane-cli … | head -1`): nobody will see the rest of it.
  bool ReaderGone() const { return ReaderLeft; }

 protected:
  // lineByLine: every line is written as it comes (a terminal).
  TLogOutput(std::string_view lineEnd, bool lineByLine) : LineEnd(lineEnd), LineByLine(lineByLine) {}
  // Writes UTF-8 text out; false after a failure, which Finish reports.
  virtual bool Put(const std::string& text) = 0;
  virtual std::optional<std::string> Finish() = 0;
  // For Put: the errno of a failed write.
  void NoteWriteError(int error) {
    if (error == EPIPE) ReaderLeft = true;
  }

 private:
  using TClock = std::chrono::steady_clock;
  // Needs Lock held.
  void WritePending();

  const std::string_view LineEnd;
  const bool LineByLine;
  mutable std::mutex Lock;
  std::string Pending;
  TClock::time_point LastWrite = TClock::now();
  bool Failed = false;
  std::atomic<bool> ReaderLeft = false;
};

// Writes the log out at the end of every file that took longer than the
// flush interval: a slow file's lines are then seen as soon as it ends,
// not up to a second later. Observes after the log's writer.
class TLongFileFlush : public TVerifyObserver {
 public:
  explicit TLongFileFlush(TLogOutput& log) : Log(log) {}
  void FileFinished(const TFileRecord& record) override {
    if (record.Seconds >= std::chrono::duration<double>(TLogOutput::FlushInterval).count())
      Log.Flush();
  }

 private:
  TLogOutput& Log;
};

// The log on standard output.
std::unique_ptr<TLogOutput> StandardOutputLog();

// The log in fileName, GB18030 with CR LF as the viewer saves it; a new file
// that replaces an older one only on Commit. Null, with the message in
// failure, when it cannot be created.
std::unique_ptr<TLogOutput> LogFileOutput(const std::string& fileName, std::string& failure);

// The message for a log that could not be written, with the system's text.
std::string LogFileFailure(const std::string& fileName, const Platform::TWriteResult& result);
