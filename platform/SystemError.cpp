#include "SystemError.h"

#include <fcntl.h>
#include <locale.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace Platform {

namespace {

constexpr locale_t NoLocale = static_cast<locale_t>(0);

std::atomic<locale_t> Chinese{NoLocale};
std::mutex ChineseLock;

// Loading a locale or a catalogue needs a free descriptor.
bool CanOpenAFile() {
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The message catalogue is chosen by a locale object of our own rather than
// the process locale: the texts are Chinese whatever the user's locale is,
// and strerror_l, unlike strerror, never shares a buffer between threads.
//
// Both the locale and glibc's message catalogue are files that must be
// opened. A process out of descriptors (EMFILE) can open neither, and glibc
// remembers a catalogue it failed to load for good. So the locale is taken
// and the catalogue loaded once, at start (PrepareSystemErrorTexts), and
// kept. A lookup without a free descriptor goes without the translation and
// loads nothing, and a failure is not kept: a later lookup tries again.
locale_t MessageLocale() {
  if (const locale_t ready = Chinese.load(std::memory_order_acquire); ready != NoLocale)
    return ready;
  const std::lock_guard<std::mutex> hold(ChineseLock);
  locale_t locale = Chinese.load(std::memory_order_relaxed);
  if (locale != NoLocale || !CanOpenAFile()) return locale;
  locale = newlocale(LC_ALL_MASK, "zh_CN.UTF-8", NoLocale);
  if (locale == NoLocale) return NoLocale;
  // The first translated message is what makes glibc load the catalogue.
  [[maybe_unused]] const char* loaded = strerror_l(ENOENT, locale);
  Chinese.store(locale, std::memory_order_release);
  return locale;
}

}  // namespace

void PrepareSystemErrorTexts() { MessageLocale(); }

std::string SystemErrorText(int code) {
  // glibc invents "Unknown error N" for codes it has no message for; the
  // program shows an empty text for those, as for code 0.
  if (code == 0 || strerrorname_np(code) == nullptr) return {};
  const locale_t locale = MessageLocale();
  if (locale == NoLocale) {
    const char* text = strerrordesc_np(code);
    return text != nullptr ? text : "";
  }
  return strerror_l(code, locale);
}

bool MediumGone(int code) {
  // ECONNABORTED: a FUSE request under way when its server went.
  return code == ENOTCONN || code == ECONNABORTED || code == ENODEV || code == ENXIO ||
         code == ENOMEDIUM || code == ESTALE;
}
int TimedOutCode() { return ETIMEDOUT; }

}  // namespace Platform
