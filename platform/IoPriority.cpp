#include "IoPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

namespace {

// From linux/ioprio.h, which glibc does not wrap.
constexpr int IoprioWhoProcess = 1;
constexpr int IoprioClassIdle = 3;
constexpr int IoprioClassShift = 13;

}  // namespace

bool LowerThreadPriority() {
  // "Process" 0 and a thread's id name the calling thread alone: on Linux
  // both priorities are each thread's own.
  const bool io = syscall(SYS_ioprio_set, IoprioWhoProcess, 0, IoprioClassIdle << IoprioClassShift) == 0;
  const bool cpu = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19) == 0;
  return io && cpu;
}

}  // namespace Platform
