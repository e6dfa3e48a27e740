#pragma once
// The events the command-line program waits for while a run goes on: SIGINT,
// SIGTERM and SIGHUP (a closed terminal, a dropped ssh session), and the
// end of the run. Each arrives as one byte through a
// pipe, so that the main thread can wait for all of them at once, with a
// time limit for the next progress refresh.
//
// The signal handler does nothing but write(), which is async-signal-safe;
// everything else (asking the worker to stop, printing) happens on the main
// thread when it reads the byte.
#include <vector>

class TEventPipe {
 public:
  static constexpr int RunOver = 0;  // any other event is a signal number

  // Catches the signals from the first thing main() does: a signal that
  // comes before the run is kept in the pipe, and the run it would have
  // ended ends at once, with its log, instead of the program dying without
  // one. The first TEventPipe takes over what arrived.
  static void CatchSignalsEarly();

  // Creates the pipe and catches the signals until destruction. One
  // object at a time: the handler writes to a single process-wide pipe.
  // Destroy it on the main thread once the other threads have ended, so
  // that no handler can still be running when the pipe closes.
  TEventPipe();
  ~TEventPipe();
  TEventPipe(const TEventPipe&) = delete;
  TEventPipe& operator=(const TEventPipe&) = delete;

  // Safe from any thread.
  void PostRunOver();

  // The events that arrived, in order; waits up to timeoutMs for the first
  // (-1: no limit) and returns nothing when the time is up.
  std::vector<int> Wait(int timeoutMs);

  // For a process that only passes the signals on to another that reads
  // the pipe: closes the reading end here and returns the writing end.
  static int KeepOnlyWriteEnd();

  // Ends the process at once by the signal's default action, so that the
  // parent sees that it died of that signal.
  [[noreturn]] static void EndBySignal(int signal);
};
