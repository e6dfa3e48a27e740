#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace {

// A ThreadSanitizer build of the program must not sleep its default second
// at exit while a read it left is still blocked: the tests time its end.
std::vector<std::string> ChildEnvironment(const std::string& locale) {
  std::vector<std::string> env;
  bool tsanOptions = false;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.starts_with("LC_") || entry.starts_with("LANG")) continue;
    env.push_back(entry);
    if (entry.starts_with("TSAN_OPTIONS=")) {
      env.back() += ":atexit_sleep_ms=0";
      tsanOptions = true;
    }
  }
  if (!tsanOptions) env.emplace_back("TSAN_OPTIONS=atexit_sleep_ms=0");
  env.push_back("LC_ALL=" + locale);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Our end and the child's end of standard output or error.
void OpenChannel(bool terminal, int& ours, int& theirs) {
  int fds[2];
  winsize size{24, 80, 0, 0};
  const int result = terminal ? openpty(&fds[0], &fds[1], nullptr, nullptr, &size)
                              : pipe2(fds, O_CLOEXEC);
  if (result != 0) throw std::runtime_error("cannot open an output channel");
  // openpty has no close-on-exec flag of its own; no other program may
  // inherit these ends (the child gets its own through dup2).
  for (const int fd : fds) fcntl(fd, F_SETFD, FD_CLOEXEC);
  ours = fds[0];
  theirs = fds[1];
}

// Appends what fd has; false at its end. A terminal's master reports the
// end as EIO once the child has closed its side.
bool Drain(int fd, std::string& into) {
  char buffer[65536];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
  return got > 0 || (got < 0 && errno == EINTR);
}

}  // namespace

TCliProcess::TCliProcess(const std::vector<std::string>& arguments, const TCliOptions& options) {
  int outChild = -1, errChild = -1;
  OpenChannel(false, OutFd, outChild);
  OpenChannel(options.ErrorToTerminal, ErrFd, errChild);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outChild, 1);
  posix_spawn_file_actions_adddup2(&actions, errChild, 2);
  if (!options.WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.WorkDir.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int s : {SIGINT, SIGTERM, SIGPIPE}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> argv = {options.Program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env = ChildEnvironment(options.Locale);
  const int error = posix_spawn(&Child, options.Program.c_str(), &actions, &attributes,
                                Pointers(argv).data(), Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outChild);
  close(errChild);
  if (error != 0) throw std::runtime_error("cannot start " + options.Program + ": " + std::strerror(error));
}

TCliProcess::~TCliProcess() {
  if (Child > 0) {
    kill(Child, SIGKILL);
    Finish();
  }
}

std::vector<pid_t> TCliProcess::Pids() const {
  std::vector<pid_t> pids{Child};
  std::ifstream children("/proc/" + std::to_string(Child) + "/task/" + std::to_string(Child) +
                         "/children");
  for (pid_t pid = 0; children >> pid;) pids.push_back(pid);
  return pids;
}

bool TCliProcess::HasOpen(const std::string& path) const {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const pid_t pid : Pids()) {
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
         it != end; it.increment(error)) {
      if (fs::read_symlink(it->path(), error) == path) return true;
    }
  }
  return false;
}

std::string TCliProcess::ReadOutputUntil(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (EarlyOut.find(text) == std::string::npos) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd out{OutFd, POLLIN, 0};
    if (poll(&out, 1, static_cast<int>(left.count())) > 0 && !Drain(OutFd, EarlyOut)) break;
  }
  return EarlyOut;
}

TCliResult TCliProcess::Finish() {
  TCliResult result;
  result.Out = std::move(EarlyOut);
  std::vector<pollfd> open = {{OutFd, POLLIN, 0}, {ErrFd, POLLIN, 0}};
  while (!open.empty()) {
    if (poll(open.data(), open.size(), -1) < 0 && errno != EINTR) break;
    for (std::size_t i = open.size(); i-- > 0;) {
      if (open[i].revents == 0) continue;
      if (!Drain(open[i].fd, open[i].fd == OutFd ? result.Out : result.Err))
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  int status = 0;
  while (waitpid(Child, &status, 0) < 0 && errno == EINTR) {
  }
  result.Ended = std::chrono::steady_clock::now();
  if (WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.Signal = WTERMSIG(status);
  close(OutFd);
  close(ErrFd);
  Child = -1;
  return result;
}

TCliResult RunCli(const std::vector<std::string>& arguments, const TCliOptions& options) {
  return TCliProcess(arguments, options).Finish();
}

TCliResult RunShell(const std::string& script, const std::vector<std::string>& arguments,
                    TCliOptions options) {
  std::vector<std::string> args = {"-c", script, options.Program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  options.Program = "/bin/sh";
  return RunCli(args, options);
}

std::vector<std::string> SplitLines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
    lines.push_back(text.substr(start, at - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
