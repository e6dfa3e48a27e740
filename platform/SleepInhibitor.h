#pragma once
// Keeps the machine from going to sleep while a run goes on: a "sleep"
// inhibitor lock taken from the login manager (logind) on the system bus,
// held as a descriptor and released by closing it. Where there is no
// system bus or no login manager, nothing happens: a run never depends on it.
#include <string>

namespace Platform {

class TSleepInhibitor {
 public:
  TSleepInhibitor() = default;
  // Releases the lock if it is held.
  ~TSleepInhibitor();
  TSleepInhibitor(const TSleepInhibitor&) = delete;
  TSleepInhibitor& operator=(const TSleepInhibitor&) = delete;

  // Asks for the lock (once; a held lock is kept). The call waits for the
  // bus at most a short moment. True when the lock is held.
  bool Acquire(const std::string& who, const std::string& why);
  void Release();
  bool Held() const { return FLock >= 0; }

 private:
  int FLock = -1;
};

}  // namespace Platform
