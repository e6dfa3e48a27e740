#pragma once
// What a run takes of the settings when it starts. The settings stay the
// user's: a window may change or save them during the run without touching
// the run's own copy.
#include <cstdint>
#include <set>
#include <string>

#include "VerifySetupInfo.h"

struct TRunSetup {
  TStringList VerifyList;
  std::set<std::string> LiteralItems;
  bool AllSubdirectories = true;
  bool AllFileAttributes = true;
  bool PositionError = false;
  std::int32_t ReadUnit = DefaultReadUnit;
};

// Copies the run's part of the settings under their lock.
inline TRunSetup TakeRunSetup(TVerifySetupInfo& setup) {
  TMutexLock hold(setup.Mutex);
  return {setup.VerifyList,        setup.LiteralItems,  setup.AllSubdirectories,
          setup.AllFileAttributes, setup.PositionError, setup.ReadUnit};
}
