// Qt's libraries are not built with ThreadSanitizer, so the synchronisation
// inside its own worker pool (image scaling, font loading) is invisible to
// it and shows up as races within Qt. Those are suppressed; our own code
// stays checked. The hook is read by the sanitizer runtime at start-up.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n"
         "race:libQt6Widgets.so\n"
         "race:libQt6Svg.so\n"
         // The tray on a real X display: Qt's X connection and D-Bus
         // threads, over GLib's event loop.
         "race:libQt6XcbQpa.so\n"
         "race:libQt6DBus.so\n"
         "race:libglib-2.0.so\n"
         // The X connection library waits for replies on a condition
         // variable on the waiting thread's stack, signalled from Qt's X
         // event thread: its locking is invisible, the stack reused later.
         "race:libxcb.so\n"
         // The system's D-Bus library under QtDBus: its own locks, taken
         // on Qt's bus thread and ours, are invisible to the sanitizer too.
         "race:libdbus-1.so\n"
         "deadlock:libdbus-1.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// The tray's look for a desktop bus leaves a buffer of the system's D-Bus
// library allocated until exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif
