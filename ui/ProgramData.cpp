#include "ProgramData.h"

TVerifySetupInfo* SetupInfo = nullptr;
TVerifyStatus* VerifyStatus = nullptr;

TProgramData::TProgramData(const std::string& iniFileName, const QString& keptLogFolder)
    : FSetupInfo(iniFileName.empty() ? std::make_unique<TVerifySetupInfo>()
                                     : std::make_unique<TVerifySetupInfo>(iniFileName)),
      FVerifyStatus(std::make_unique<TVerifyStatus>()),
      FRun(std::make_unique<TRunController>(*FVerifyStatus, *FSetupInfo, keptLogFolder)) {}
