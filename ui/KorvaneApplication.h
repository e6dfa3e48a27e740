#pragma once
// The application object every Korvane window runs in, and what it sets up
// before the first window exists: the fonts the windows name, Qt's Chinese
// texts for standard buttons, the resources, and the general error handler.
#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include <QApplication>
#include <QString>
#include <QTranslator>

// Maps the font names the windows are designed with ("宋体", "Times New
// Roman", "MS Sans Serif") to installed fonts, each with a Simplified
// Chinese fallback so that Chinese never takes Japanese glyph shapes.
void InstallFontSubstitutions();

// Makes Chinese glyph shapes depend on the font alone, not on the locale.
// Must run before the first text is laid out.
void PinTextLanguage();

// Registers the icons, the logo and the pictures compiled into the library.
void InitResources();

class TKorvaneApplication : public QApplication {
  Q_OBJECT

 public:
  TKorvaneApplication(int& argc, char** argv);

  // The running instance, or nullptr when the application is another class.
  static TKorvaneApplication* Instance();

  // The application's title: caption of the general error box.
  QString Title() const { return FTitle; }
  void SetTitle(const QString& title) { FTitle = title; }

  // Whether Qt's Simplified Chinese texts for standard buttons were found.
  bool QtTranslationLoaded() const { return FQtTranslationLoaded; }

  // Last resort for a handler that forgot HandleEvent: the exception has
  // already crossed Qt's frames (whose cleanup it skipped), but the program
  // goes on and the user is told.
  bool notify(QObject* receiver, QEvent* event) override;
  void ShowException(const std::exception& error, const std::string& reason = {});

  // The error box's text: the message with a full stop added, then the
  // reason, if any, on a second line.
  static QString ExceptionText(const std::exception& error, const std::string& reason = {});

 private:
  QString FTitle = QStringLiteral("Korvane");
  QTranslator FQtTranslator;
  bool FQtTranslationLoaded = false;
};

// Shows an exception in the general error box: the running application's
// title as caption, the message with a full stop added, then the system's
// reason (权限不够, 设备上没有空间) when one is known.
void ShowApplicationException(const std::exception& error, const std::string& reason = {});

// The general error handler. Every event handler of a window runs its body
// through it: an exception ends only that handler and is shown by
// ShowApplicationException. It is caught here, in our own frame, because
// Qt's frames must never be unwound (Qt leaks and, across a signal, its
// behaviour is undefined).
template <typename Handler>
void HandleEvent(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    ShowApplicationException(error);
  }
}

// QObject::connect for a window's event handler (a member function or any
// callable), which then runs under HandleEvent. Signal arguments are passed
// on when the handler takes them.
template <typename Slot, typename Receiver, typename... Args>
void InvokeHandler(const Slot& slot, Receiver* receiver, const Args&... args) {
  if constexpr (std::is_invocable_v<Slot, Receiver*, const Args&...>)
    std::invoke(slot, receiver, args...);
  else
    std::invoke(slot, receiver);
}

template <typename Sender, typename Signal, typename Receiver, typename Slot>
QMetaObject::Connection ConnectEvent(Sender* sender, Signal signal, Receiver* receiver, Slot slot) {
  // The choice is made outside the lambdas: Clang cannot see the pack of an
  // enclosing generic lambda from a nested one's constant condition.
  return QObject::connect(sender, signal, receiver, [receiver, slot](const auto&... args) {
    HandleEvent([&] { InvokeHandler(slot, receiver, args...); });
  });
}
