#pragma once
// The objects shared by the worker and the windows.
#include "IntegerText.h"
#include "Mutex.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"
#include "VersionInfo.h"
