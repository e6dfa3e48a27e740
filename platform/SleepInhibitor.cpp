#include "SleepInhibitor.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <cstdint>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace Platform {

namespace {

// The bus library, loaded by the first run that asks for the lock: it and
// what it pulls in (a crypto library, three compressors) cost every start
// of the program, --help and --version included, a few milliseconds of
// loading and linking otherwise.
struct TBusLibrary {
  decltype(&sd_bus_open_system) OpenSystem = nullptr;
  decltype(&sd_bus_message_new_method_call) NewMethodCall = nullptr;
  decltype(&sd_bus_message_append) Append = nullptr;
  decltype(&sd_bus_call) Call = nullptr;
  decltype(&sd_bus_message_read) Read = nullptr;
  decltype(&sd_bus_message_unref) MessageUnref = nullptr;
  decltype(&sd_bus_error_free) ErrorFree = nullptr;
  decltype(&sd_bus_flush_close_unref) FlushCloseUnref = nullptr;

  template <class TFunction>
  static bool Find(void* library, const char* name, TFunction& function) {
    function = reinterpret_cast<TFunction>(dlsym(library, name));
    return function != nullptr;
  }
  // Null where the library or one of its calls is missing: no lock then.
  static const TBusLibrary* Load() {
    static const TBusLibrary* const loaded = [] () -> const TBusLibrary* {
      void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
      if (library == nullptr) return nullptr;
      static TBusLibrary bus;
      const bool found = Find(library, "sd_bus_open_system", bus.OpenSystem) &&
                         Find(library, "sd_bus_message_new_method_call", bus.NewMethodCall) &&
                         Find(library, "sd_bus_message_append", bus.Append) &&
                         Find(library, "sd_bus_call", bus.Call) &&
                         Find(library, "sd_bus_message_read", bus.Read) &&
                         Find(library, "sd_bus_message_unref", bus.MessageUnref) &&
                         Find(library, "sd_bus_error_free", bus.ErrorFree) &&
                         Find(library, "sd_bus_flush_close_unref", bus.FlushCloseUnref);
      return found ? &bus : nullptr;
    }();
    return loaded;
  }
};

// A login manager that does not answer in this time is taken as absent:
// a run must not wait for it.
constexpr std::uint64_t CallTimeoutUs = 500'000;

struct TBusCall {
  const TBusLibrary& Lib;
  sd_bus* Bus = nullptr;
  sd_bus_message* Reply = nullptr;
  // SD_BUS_ERROR_NULL spelt out: the macro is a C compound literal.
  sd_bus_error Error{nullptr, nullptr, 0};
  ~TBusCall() {
    Lib.ErrorFree(&Error);
    Lib.MessageUnref(Reply);
    Lib.FlushCloseUnref(Bus);
  }
};

}  // namespace

TSleepInhibitor::~TSleepInhibitor() { Release(); }

bool TSleepInhibitor::Acquire(const std::string& who, const std::string& why) {
  if (Held()) return true;
  const TBusLibrary* lib = TBusLibrary::Load();
  if (lib == nullptr) return false;
  TBusCall call{*lib};
  if (lib->OpenSystem(&call.Bus) < 0) return false;
  sd_bus_message* request = nullptr;
  int result = lib->NewMethodCall(call.Bus, &request, "org.freedesktop.login1",
                                  "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                  "Inhibit");
  if (result >= 0)
    result = lib->Append(request, "ssss", "sleep", who.c_str(), why.c_str(), "block");
  if (result >= 0) result = lib->Call(call.Bus, request, CallTimeoutUs, &call.Error, &call.Reply);
  lib->MessageUnref(request);
  int lock = -1;
  if (result < 0 || lib->Read(call.Reply, "h", &lock) < 0) return false;
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
