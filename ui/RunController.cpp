#include "RunController.h"

#include <QTimer>

#include "VerifierUnit.h"

TRunController::TRunController(TVerifyStatus& status, TVerifySetupInfo& setup, QObject* parent)
    : QObject(parent), FStatus(status), FSetup(setup), FPoll(new QTimer(this)) {
  FPoll->setInterval(PollInterval);
  connect(FPoll, &QTimer::timeout, this, &TRunController::Poll);
}

TRunController::~TRunController() = default;

void TRunController::Start() {
  if (Active()) return;
  // The last run's worker was joined when it was seen to end.
  FVerifier.reset();
  FStatus.Reset();
  FVerifier = std::make_unique<TVerifier>(FStatus, FSetup);
  FAwake.Acquire("Korvane", "校验文件");
  FPoll->start();
  SetState(TRunState::Running);
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

void TRunController::SetState(TRunState state) {
  if (state == FState) return;
  FState = state;
  emit StateChanged(state);
}

void TRunController::Poll() {
  // Finished is the worker's last step: its thread ends at once after it,
  // so the join below is immediate.
  if (!FStatus.Finished) return;
  FPoll->stop();
  FVerifier->WaitFor();
  FAwake.Release();
  const bool stopped = FState == TRunState::Stopping;
  FStatus.SetPaused(false);
  SetState(TRunState::Idle);
  emit Ended(stopped);
}
