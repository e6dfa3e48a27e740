#include "EventPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <stdexcept>

namespace {

constexpr int CaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Lock-free, so the handler may read it.
std::atomic<int> WriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

int ReadEnd = -1;
bool Owned = false;
struct sigaction Previous[std::size(CaughtSignals)];

void Post(int event) {
  const int fd = WriteEnd.load();
  if (fd < 0) return;
  const auto byte = static_cast<unsigned char>(event);
  // A full pipe drops the byte: by then the reader has plenty to act on.
  [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
}

extern "C" void OnSignal(int signal) {
  const int savedErrno = errno;
  Post(signal);
  errno = savedErrno;
}

}  // namespace

void TEventPipe::CatchSignalsEarly() {
  if (ReadEnd >= 0) return;
  int fds[2];
  // Non-blocking both ways: the handler must never block, and the reader
  // drains whatever is there.
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
  ReadEnd = fds[0];
  WriteEnd = fds[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : CaughtSignals) sigaddset(&action.sa_mask, signal);
  // SA_RESTART: the worker's reads and our own calls go on undisturbed.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(CaughtSignals); ++i) {
    sigaction(CaughtSignals[i], &action, &Previous[i]);
    // A signal ignored by whoever started us (a background job of a shell
    // without job control, nohup) stays ignored.
    if (Previous[i].sa_handler == SIG_IGN) sigaction(CaughtSignals[i], &Previous[i], nullptr);
  }
}

TEventPipe::TEventPipe() {
  if (Owned) throw std::logic_error("only one TEventPipe at a time");
  CatchSignalsEarly();
  Owned = true;
}

TEventPipe::~TEventPipe() {
  for (std::size_t i = 0; i < std::size(CaughtSignals); ++i)
    sigaction(CaughtSignals[i], &Previous[i], nullptr);
  close(WriteEnd.exchange(-1));
  close(ReadEnd);
  ReadEnd = -1;
  Owned = false;
}

void TEventPipe::PostRunOver() { Post(RunOver); }

int TEventPipe::KeepOnlyWriteEnd() {
  close(ReadEnd);
  ReadEnd = -1;
  return WriteEnd.load();
}

std::vector<int> TEventPipe::Wait(int timeoutMs) {
  pollfd watch{ReadEnd, POLLIN, 0};
  // A signal that interrupts poll has already written its byte; the next
  // round finds it.
  int ready;
  do {
    ready = poll(&watch, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  std::vector<int> events;
  unsigned char bytes[64];
  ssize_t got;
  while ((got = read(ReadEnd, bytes, sizeof bytes)) > 0 || (got < 0 && errno == EINTR)) {
    for (ssize_t i = 0; i < got; ++i) events.push_back(bytes[i]);
  }
  return events;
}

void TEventPipe::EndBySignal(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal);
  // Only reached if the signal's default action does not end the process.
  _exit(128 + signal);
}
