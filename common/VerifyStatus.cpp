#include "VerifyStatus.h"

#include <chrono>

TVerifyStatus::TVerifyStatus() { Reset(); }

void TVerifyStatus::Reset() {
  TMutexLock hold(Mutex);
  CurrentDirectory.clear();
  CurrentFile.clear();
  CurrentFileDirectory.clear();
  CurrentFileSize = 0;
  CurrentFilePosition = 0;
  TotalBytes = 0;
  FilesOk = 0;
  FilesError = 0;
  FilesSkipped = 0;
  DirsSkipped = 0;
  LastOkFile.clear();
  LastErrorFile.clear();
  LastErrorMessage.clear();
  BytesDone = 0;
  BytesUnread = 0;
  CountedFiles = 0;
  CountedBytes = 0;
  CountComplete = false;
  ReadStartedAt = 0;
  Log.clear();
  ErrorList.clear();
  Stopped = false;
  SearchFailures.clear();
  MissingItems.clear();
  PagesKeptFiles.clear();
  Finished = false;
  SkipFile = false;
  SkipDirectory = false;
  SetPaused(false);
  Idle = true;
  StartTime = 0;
  EndTime = 0;
}

void TVerifyStatus::SetPaused(bool paused) {
  Paused.store(paused);
  Paused.notify_all();
}

void TVerifyStatus::WaitWhilePaused() const {
  // wait() may return spuriously, so the flag is tested again each time.
  while (Paused.load()) Paused.wait(true);
}

namespace {

std::int64_t StalledSeconds(std::int64_t startedAt) {
  if (startedAt == 0) return 0;
  using TClock = std::chrono::steady_clock;
  const auto blocked = TClock::now() - TClock::time_point(TClock::duration(startedAt));
  const std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(blocked).count();
  return seconds > StalledAfterSeconds ? seconds : 0;
}

}  // namespace

TStatusSnapshot TakeSnapshot(TVerifyStatus& status) {
  TMutexLock hold(status.Mutex);
  return {status.CurrentDirectory,  status.CurrentFile,         status.CurrentFileSize,
          status.CurrentFilePosition, status.TotalBytes,          status.FilesOk,
          status.FilesError,        status.FilesSkipped,        status.BytesDone,
          status.CountedFiles.load(), status.CountedBytes.load(), status.CountComplete.load(),
          StalledSeconds(status.ReadStartedAt.load()),
          status.LastOkFile,        status.LastErrorFile,       status.LastErrorMessage,
          status.Finished.load(),   status.CurrentFileDirectory, status.BytesUnread};
}

std::string StalledReadText(std::int64_t seconds) {
  return "读取已停滞 " + std::to_string(seconds) + " 秒";
}
