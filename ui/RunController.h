#pragma once
// One run's life, from the window program's side: starts the worker,
// pauses, resumes and stops it, and says when it has ended. Nothing here
// ever waits for the worker: a read may hang on a failing medium for
// minutes, and the windows must answer all the while. A stop is a request;
// Ended follows once the worker has really gone. While a run goes on, the
// machine is kept from going to sleep, and its log is kept on the disk.
#include <memory>

#include <QObject>
#include <QString>

#include "SleepInhibitor.h"
#include "VerifierUnit.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"

class QTimer;
class TKeptLog;
class TVerifier;

enum class TRunState { Idle, Running, Paused, Stopping };

class TRunController : public QObject {
  Q_OBJECT

 public:
  // Each run's log also goes to a file of its own in keptLogFolder; none
  // when it is empty.
  TRunController(TVerifyStatus& status, TVerifySetupInfo& setup, QString keptLogFolder,
                 QObject* parent = nullptr);
  // At the program's end only: a worker still running is stopped and
  // joined before the status it writes into goes away.
  ~TRunController() override;

  // Resets the status and starts a run over the setup's items. Throws
  // EVerifyError for a read unit no run can use; nothing is started then.
  void Start();
  void Pause();
  void Resume();
  // Running: pauses; paused: resumes; anything else: nothing.
  void TogglePause();
  // Asks the worker to end and returns at once; Ended follows.
  void Stop();
  // For a program about to end, after Stop: a worker held in the system
  // (an open, a listing or a read that never returns) is let go, its log
  // written to the end and kept. False when the worker is not held (Ended
  // follows) or is passing its output on: ask again a moment later. After
  // true, the program ends without destroying anything the run used.
  bool LetGoForExit();
  // Ask the worker to leave the file or the directory it is in.
  void SkipFile();
  void SkipDirectory();

  TRunState State() const { return FState; }
  // Why the last run's kept log is not wholly on the disk; empty when it is
  // or when none is kept.
  QString KeptLogFailure() const;
  // A run has started and its worker has not yet ended.
  bool Active() const { return FState != TRunState::Idle; }

  // How often the worker's end is looked for.
  static constexpr int PollInterval = 10;

 signals:
  void StateChanged(TRunState state);
  // The worker has ended and its thread has been joined; stopped when the
  // end came from Stop.
  void Ended(bool stopped);

 private:
  // The run's log goes through a writer of our own when it is kept.
  TRunOptions LogOptions();
  void SetState(TRunState state);
  void Poll();

  TVerifyStatus& FStatus;
  TVerifySetupInfo& FSetup;
  QString FKeptLogFolder;
  // The run's log, written into the status and the kept file; the worker
  // uses them until it is joined.
  std::unique_ptr<TKeptLog> FKeptLog;
  std::unique_ptr<TStoreLines> FErrorList;
  std::unique_ptr<TLogWriter> FLogWriter;
  std::unique_ptr<TVerifier> FVerifier;
  // Held from the start to the end of a run, a pause included.
  Platform::TSleepInhibitor FAwake;
  QTimer* FPoll;
  TRunState FState = TRunState::Idle;
};
