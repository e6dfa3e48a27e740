#pragma once
// What every window of the program works on: the settings, the status of
// the run and the run controller. The program object owns them; the
// globals SetupInfo and VerifyStatus refer to the program's while it is
// alive.
#include <memory>
#include <string>

#include <QString>

#include "RunController.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"

class TProgramData {
 public:
  // Reads the settings from iniFileName (empty: KORVANE.INI beside the
  // program); each run's log is also kept in keptLogFolder (none when
  // empty).
  explicit TProgramData(const std::string& iniFileName, const QString& keptLogFolder);
  TProgramData(const TProgramData&) = delete;
  TProgramData& operator=(const TProgramData&) = delete;

  TVerifySetupInfo& Setup() { return *FSetupInfo; }
  TVerifyStatus& Status() { return *FVerifyStatus; }
  TRunController& Run() { return *FRun; }

 private:
  std::unique_ptr<TVerifySetupInfo> FSetupInfo;
  std::unique_ptr<TVerifyStatus> FVerifyStatus;
  // Declared last, so freed first: a worker still running is stopped and
  // joined before the status it writes into goes away.
  std::unique_ptr<TRunController> FRun;
};

// The settings and the status of the running program.
extern TVerifySetupInfo* SetupInfo;
extern TVerifyStatus* VerifyStatus;
