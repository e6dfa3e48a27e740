#pragma once
// korvane-cli runs as two processes: the one its caller started, which only
// waits and passes the signals on, and the one that does the run.
//
// A thread held in the kernel by a device that answers nothing (a dying
// disk in uninterruptible sleep, a hung network or FUSE server) keeps its
// whole process from ending, whatever signal it gets, until the device
// answers: the system does not let a process go while one of its threads
// is inside such a call. The caller of korvane-cli must not wait for that.
// So once the run's process has written its log, report and state, it
// tells its exit status to the waiting process, lets go of its outputs and
// ends; the waiting process ends at once with that status. A held thread
// then keeps only the other process, with no output, until the device
// answers.

// Called first in main(), after the signals are caught and before any
// thread starts. Returns in the run's process; the waiting process never
// returns from it. Where no second process can be had, returns and the one
// process does both.
void SplitOffRun();

// The run's process at its end: the waiting process ends with status, and
// this one lets go of its outputs (flushed first). The caller then returns
// from main().
int EndOfRun(int status);
// The same, ending this process at once without running anything more: for
// a run whose thread was let go held in the system.
[[noreturn]] void EndQuickly(int status);
// Ends the program by signal's default action, so that its caller sees
// that it died of that signal.
[[noreturn]] void EndBySignal(int signal);
