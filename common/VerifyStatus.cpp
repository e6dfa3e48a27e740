#include "VerifyStatus.h"

TVerifyStatus::TVerifyStatus() {
  TMutexLock hold(Mutex);
  Reset();
}

void TVerifyStatus::Reset() {
  CurrentDirectory.clear();
  CurrentFile.clear();
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
  CountedFiles = 0;
  CountedBytes = 0;
  CountComplete = false;
  ReadBuffer = nullptr;
  ReadBufferSize = 0;
  FileError = false;
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

TStatusSnapshot TakeSnapshot(TVerifyStatus& status) {
  TMutexLock hold(status.Mutex);
  return {status.CurrentDirectory,  status.CurrentFile,         status.CurrentFileSize,
          status.CurrentFilePosition, status.TotalBytes,          status.FilesOk,
          status.FilesError,        status.FilesSkipped,        status.BytesDone,
          status.CountedFiles.load(), status.CountedBytes.load(), status.CountComplete.load(),
          status.LastOkFile,        status.LastErrorFile,       status.LastErrorMessage,
          status.Finished.load()};
}
