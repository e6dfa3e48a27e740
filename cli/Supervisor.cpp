#include "Supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "EventPipe.h"

namespace {

constexpr int PassedSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The run's process: where it tells the waiting one how it ended.
int StatusFd = -1;
// The waiting process: the run's, and where signals go to it.
pid_t Run = -1;
int SignalFd = -1;

enum : unsigned char { Exited = 'x', Signalled = 's' };

[[noreturn]] void DieBy(int signal) { TEventPipe::EndBySignal(signal); }

// In the waiting process. The run reads its signals from the event pipe;
// once it no longer does (its run is over), the signal goes to it as such,
// to end it as it would have ended the one process.
extern "C" void PassSignal(int signal) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signal);
  if (write(SignalFd, &byte, 1) != 1 && errno == EPIPE) kill(Run, signal);
  errno = savedErrno;
}

void PassSignalsOn(int eventWriteEnd) {
  SignalFd = eventWriteEnd;
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = PassSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int caught : PassedSignals) {
    struct sigaction previous {};
    sigaction(caught, nullptr, &previous);
    // What the caller had ignored stays ignored.
    if (previous.sa_handler != SIG_IGN) sigaction(caught, &action, nullptr);
  }
}

// How the run's process ended when it said nothing: a crash or a kill.
[[noreturn]] void EndAsRunEnded() {
  int status = 0;
  while (waitpid(Run, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) DieBy(WTERMSIG(status));
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

// The run's process normally ends a moment after its word; when it does,
// its own status counts (a sanitizer's report changes it at the very end).
// One held in the system is not waited for.
[[noreturn]] void EndAs(unsigned char kind, unsigned char value) {
  if (kind == Signalled) DieBy(value);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  int status = 0;
  while (std::chrono::steady_clock::now() < until) {
    const pid_t done = waitpid(Run, &status, WNOHANG);
    if (done == Run && WIFEXITED(status)) _exit(WEXITSTATUS(status));
    if (done != 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  _exit(value);
}

[[noreturn]] void WaitForRun(int statusFd) {
  unsigned char word[2];
  std::size_t have = 0;
  while (have < sizeof word) {
    // Waited for in poll: a sanitizer's runtime delivers signals at once
    // only to a thread waiting there, not to one waiting in read.
    pollfd ready{statusFd, POLLIN, 0};
    if (poll(&ready, 1, -1) < 0 && errno == EINTR) continue;
    const ssize_t got = read(statusFd, word + have, sizeof word - have);
    if (got > 0) have += static_cast<std::size_t>(got);
    else if (got < 0 && errno == EINTR) continue;
    else break;
  }
  if (have < sizeof word) EndAsRunEnded();
  EndAs(word[0], word[1]);
}

// Output not taken yet is only flushed for an end that writes it all: a
// signal that ends the program at once must not wait for a stalled pipe.
void Tell(unsigned char kind, int value) {
  if (kind == Exited) {
    std::fflush(stdout);
    std::fflush(stderr);
  }
  if (StatusFd < 0) return;
  // Let go before the word: whoever reads the program's output sees its end
  // as soon as the waiting process has ended.
  const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (nothing >= 0) {
    dup2(nothing, STDOUT_FILENO);
    dup2(nothing, STDERR_FILENO);
    close(nothing);
  }
  const unsigned char word[2] = {kind, static_cast<unsigned char>(value)};
  [[maybe_unused]] const ssize_t sent = write(StatusFd, word, sizeof word);
  close(StatusFd);
  StatusFd = -1;
}

}  // namespace

void SplitOffRun() {
  int status[2];
  if (pipe2(status, O_CLOEXEC) != 0) return;
  const pid_t waiting = getpid();
  const pid_t child = fork();
  if (child < 0) {
    close(status[0]);
    close(status[1]);
    return;
  }
  if (child == 0) {
    close(status[0]);
    StatusFd = status[1];
    // The waiting process killed outright takes the run with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != waiting) _exit(1);
    // Signals reach the run once, through the waiting process, also those
    // a terminal sends to both.
    for (const int caught : PassedSignals) signal(caught, SIG_IGN);
    return;
  }
  close(status[1]);
  Run = child;
  PassSignalsOn(TEventPipe::KeepOnlyWriteEnd());
  WaitForRun(status[0]);
}

int EndOfRun(int status) {
  Tell(Exited, status);
  return status;
}

void EndQuickly(int status) {
  Tell(Exited, status);
  _exit(status);
}

void EndBySignal(int signal) {
  if (StatusFd < 0) DieBy(signal);
  Tell(Signalled, signal);
  _exit(128 + signal);
}
