#include "RunController.h"

#include <QDateTime>
#include <QTimer>

#include "KeptLog.h"
#include "OpenItems.h"
#include "VerifierUnit.h"

TRunController::TRunController(TVerifyStatus& status, TVerifySetupInfo& setup,
                               QString keptLogFolder, QObject* parent)
    : QObject(parent),
      FStatus(status),
      FSetup(setup),
      FKeptLogFolder(std::move(keptLogFolder)),
      FPoll(new QTimer(this)) {
  FPoll->setInterval(PollInterval);
  connect(FPoll, &QTimer::timeout, this, &TRunController::Poll);
}

TRunController::~TRunController() {
  // The worker goes first; a run cut short keeps the log it made.
  FVerifier.reset();
  if (FKeptLog) FKeptLog->Finish();
}

void TRunController::Start() {
  if (Active()) return;
  // The last run's worker was joined when it was seen to end.
  FVerifier.reset();
  FStatus.Reset();
  {
    TMutexLock hold(FSetup.Mutex);
    CheckDirectoriesWhole(FSetup.VerifyList);
  }
  try {
    FVerifier = std::make_unique<TVerifier>(FStatus, FSetup, LogOptions());
  } catch (...) {
    // No run, so no log to keep.
    FLogWriter.reset();
    if (FKeptLog) FKeptLog->Discard();
    FKeptLog.reset();
    throw;
  }
  // The run took its copy; without the error position it reads in the
  // largest unit, and the selection shows that unit next time.
  {
    TMutexLock hold(FSetup.Mutex);
    if (!FSetup.PositionError) FSetup.ReadUnit = MaxReadUnit;
  }
  FAwake.Acquire("Korvane", "校验文件");
  FPoll->start();
  SetState(TRunState::Running);
}

TRunOptions TRunController::LogOptions() {
  FLogWriter.reset();
  FKeptLog.reset();
  if (FKeptLogFolder.isEmpty()) return {};
  FKeptLog = std::make_unique<TKeptLog>(FStatus, FKeptLogFolder, QDateTime::currentDateTime());
  FErrorList = std::make_unique<TStoreLines>(FStatus.ErrorList);
  FLogWriter = std::make_unique<TLogWriter>(*FKeptLog, *FErrorList);
  TRunOptions options;
  // The kept log follows the log's writer, so that it sees a file's lines
  // before it hears that the file has ended.
  options.Observers = {FLogWriter.get(), FKeptLog.get()};
  return options;
}

void TRunController::Pause() {
  if (FState != TRunState::Running) return;
  FStatus.SetPaused(true);
  SetState(TRunState::Paused);
}

void TRunController::Resume() {
  if (FState != TRunState::Paused) return;
  FStatus.SetPaused(false);
  SetState(TRunState::Running);
}

void TRunController::TogglePause() {
  if (FState == TRunState::Running)
    Pause();
  else
    Resume();
}

void TRunController::Stop() {
  if (FState != TRunState::Running && FState != TRunState::Paused) return;
  // Also ends a pause, so that the worker can wind down.
  FVerifier->Terminate();
  SetState(TRunState::Stopping);
}

bool TRunController::LetGoForExit() {
  if (!FVerifier || !FVerifier->Abandon()) return false;
  KeepForever(FVerifier);
  FPoll->stop();
  if (FKeptLog) FKeptLog->Finish();
  FAwake.Release();
  return true;
}

void TRunController::SkipFile() { FStatus.SkipFile = true; }

void TRunController::SkipDirectory() { FStatus.SkipDirectory = true; }

void TRunController::SetState(TRunState state) {
  if (state == FState) return;
  FState = state;
  emit StateChanged(state);
}

QString TRunController::KeptLogFailure() const {
  return FKeptLog ? FKeptLog->Failure() : QString();
}

void TRunController::Poll() {
  if (FKeptLog) FKeptLog->FlushIfDue();
  // Finished is the worker's last step: its thread ends at once after it,
  // so the join below is immediate.
  if (!FStatus.Finished) return;
  FPoll->stop();
  FVerifier->WaitFor();
  if (FKeptLog) FKeptLog->Finish();
  FAwake.Release();
  const bool stopped = FState == TRunState::Stopping;
  FStatus.SetPaused(false);
  SetState(TRunState::Idle);
  emit Ended(stopped);
}
