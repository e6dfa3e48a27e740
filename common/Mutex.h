#pragma once
#include <mutex>

// Clang checks at compile time that what a mutex guards is touched only
// with it held; other compilers see nothing of these.
#if defined(__clang__)
#define KORVANE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KORVANE_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) KORVANE_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY KORVANE_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) KORVANE_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) KORVANE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) KORVANE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) KORVANE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) KORVANE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS KORVANE_THREAD_ANNOTATION(no_thread_safety_analysis)

// The lock that guards the shared status and the settings. Nothing takes it
// twice on one thread, so it is a plain one: a second acquisition by its
// owner is a fault, not a count. Acquire waits without a time limit;
// lock/unlock let the standard guards use it.
class CAPABILITY("mutex") TMutex {
 public:
  void Acquire() ACQUIRE() { Handle.lock(); }
  void Release() RELEASE() { Handle.unlock(); }

  void lock() ACQUIRE() { Acquire(); }
  void unlock() RELEASE() { Release(); }

 private:
  std::mutex Handle;
};

// Holds a TMutex for its own lifetime.
class SCOPED_CAPABILITY TMutexLock {
 public:
  explicit TMutexLock(TMutex& mutex) ACQUIRE(mutex) : Held(mutex) { Held.Acquire(); }
  ~TMutexLock() RELEASE() { Held.Release(); }
  TMutexLock(const TMutexLock&) = delete;
  TMutexLock& operator=(const TMutexLock&) = delete;

 private:
  TMutex& Held;
};
