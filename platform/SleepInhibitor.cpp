#include "SleepInhibitor.h"

#include <fcntl.h>
#include <cstdint>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace Platform {

namespace {

// A login manager that does not answer in this time is taken as absent:
// a run must not wait for it.
constexpr std::uint64_t CallTimeoutUs = 500'000;

struct TBusCall {
  sd_bus* Bus = nullptr;
  sd_bus_message* Reply = nullptr;
  // SD_BUS_ERROR_NULL spelt out: the macro is a C compound literal.
  sd_bus_error Error{nullptr, nullptr, 0};
  ~TBusCall() {
    sd_bus_error_free(&Error);
    sd_bus_message_unref(Reply);
    sd_bus_flush_close_unref(Bus);
  }
};

}  // namespace

TSleepInhibitor::~TSleepInhibitor() { Release(); }

bool TSleepInhibitor::Acquire(const std::string& who, const std::string& why) {
  if (Held()) return true;
  TBusCall call;
  if (sd_bus_open_system(&call.Bus) < 0) return false;
  sd_bus_message* request = nullptr;
  int result = sd_bus_message_new_method_call(call.Bus, &request, "org.freedesktop.login1",
                                              "/org/freedesktop/login1",
                                              "org.freedesktop.login1.Manager", "Inhibit");
  if (result >= 0)
    result = sd_bus_message_append(request, "ssss", "sleep", who.c_str(), why.c_str(), "block");
  if (result >= 0) result = sd_bus_call(call.Bus, request, CallTimeoutUs, &call.Error, &call.Reply);
  sd_bus_message_unref(request);
  int lock = -1;
  if (result < 0 || sd_bus_message_read(call.Reply, "h", &lock) < 0) return false;
  // The descriptor belongs to the reply: a copy of our own is the lock.
  FLock = fcntl(lock, F_DUPFD_CLOEXEC, 3);
  return Held();
}

void TSleepInhibitor::Release() {
  if (!Held()) return;
  close(FLock);
  FLock = -1;
}

}  // namespace Platform
