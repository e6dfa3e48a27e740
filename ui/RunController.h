#pragma once
// One run's life, from the window program's side: starts the worker,
// pauses, resumes and stops it, and says when it has ended. Nothing here
// ever waits for the worker: a read may hang on a failing medium for
// minutes, and the windows must answer all the while. A stop is a request;
// Ended follows once the worker has really gone. While a run goes on, the
// machine is kept from going to sleep.
#include <memory>

#include <QObject>

#include "SleepInhibitor.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"

class QTimer;
class TVerifier;

enum class TRunState { Idle, Running, Paused, Stopping };

class TRunController : public QObject {
  Q_OBJECT

 public:
  TRunController(TVerifyStatus& status, TVerifySetupInfo& setup, QObject* parent = nullptr);
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

  TRunState State() const { return FState; }
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
  void SetState(TRunState state);
  void Poll();

  TVerifyStatus& FStatus;
  TVerifySetupInfo& FSetup;
  std::unique_ptr<TVerifier> FVerifier;
  // Held from the start to the end of a run, a pause included.
  Platform::TSleepInhibitor FAwake;
  QTimer* FPoll;
  TRunState FState = TRunState::Idle;
};
