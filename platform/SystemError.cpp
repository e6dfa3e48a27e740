#include "SystemError.h"

#include <locale.h>
#include <string.h>

namespace Platform {

namespace {

// The message catalogue is chosen by a locale object of our own rather than
// the process locale: the texts are Chinese whatever the user's locale is,
// and strerror_l, unlike strerror, never shares a buffer between threads.
locale_t MessageLocale() {
  static const locale_t locale = [] {
    locale_t chinese = newlocale(LC_ALL_MASK, "zh_CN.UTF-8", static_cast<locale_t>(0));
    if (chinese != static_cast<locale_t>(0)) return chinese;
    return newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  }();
  return locale;
}

}  // namespace

std::string SystemErrorText(int code) {
  // glibc invents "Unknown error N" for codes it has no message for; the
  // program shows an empty text for those, as for code 0.
  if (code == 0 || strerrorname_np(code) == nullptr) return {};
  const locale_t locale = MessageLocale();
  if (locale == static_cast<locale_t>(0)) {
    const char* text = strerrordesc_np(code);
    return text != nullptr ? text : "";
  }
  return strerror_l(code, locale);
}

}  // namespace Platform
