#pragma once
// The objects shared by the worker and the windows.
#include "CommandLine.h"
#include "IntegerText.h"
#include "LogFile.h"
#include "Mutex.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"
#include "VersionInfo.h"
