#pragma once
#include <mutex>

// The re-entrant lock that guards the shared status and the settings.
// Acquire waits without a time limit; a thread that owns it may take it
// again and releases it once per acquisition. lock/unlock let the standard
// guards use it.
class TMutex {
 public:
  void Acquire() { Handle.lock(); }
  void Release() { Handle.unlock(); }

  void lock() { Acquire(); }
  void unlock() { Release(); }

 private:
  std::recursive_mutex Handle;
};

using TMutexLock = std::lock_guard<TMutex>;
