#include "ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

namespace {

// From linux/ioprio.h, which glibc does not wrap.
constexpr int IoprioWhoProcess = 1;
constexpr int IoprioClassBestEffort = 2;
constexpr int IoprioLowestLevel = 7;
constexpr int IoprioClassShift = 13;
constexpr int GiveWayNice = 10;

}  // namespace

bool LowerThreadIoPriority() {
  // "Process" 0 is the calling thread: the priority is each thread's own.
  return syscall(SYS_ioprio_set, IoprioWhoProcess, 0,
                 IoprioClassBestEffort << IoprioClassShift | IoprioLowestLevel) == 0;
}

bool LowerThreadCpuPriority() {
  // Linux keeps the nice value per thread, named by its thread id.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), GiveWayNice) == 0;
}

}  // namespace Platform
