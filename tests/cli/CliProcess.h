#pragma once
// Runs the real korvane-cli binary with its output captured.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct TCliResult {
  int ExitCode = -1;  // when it exited
  int Signal = 0;     // when a signal ended it
  std::string Out;
  std::string Err;
  std::chrono::steady_clock::time_point Ended;
};

struct TCliOptions {
  std::string Program = KORVANE_CLI_PATH;
  std::string WorkDir{};          // empty: the test's own
  bool ErrorToTerminal = false;   // standard error on a pseudo-terminal of 80 columns
  std::string Locale = "C.UTF-8";  // LC_ALL
};

class TCliProcess {
 public:
  // Starts the program with standard input from /dev/null, SIGINT and
  // SIGTERM at their defaults and LC_ALL=C.UTF-8 (or the options' locale),
  // so that numbers and times come out the same wherever the tests run.
  explicit TCliProcess(const std::vector<std::string>& arguments, const TCliOptions& options = {});
  ~TCliProcess();
  TCliProcess(const TCliProcess&) = delete;
  TCliProcess& operator=(const TCliProcess&) = delete;

  pid_t Pid() const { return Child; }
  // The program's processes: the one started, and the one it runs in.
  std::vector<pid_t> Pids() const;
  // True once the program holds the file open (it is reading it).
  bool HasOpen(const std::string& path) const;
  // Reads standard output while the program runs, until text has come or
  // the time is up; returns all read so far (Finish includes it too).
  std::string ReadOutputUntil(const std::string& text, std::chrono::milliseconds limit);
  // Reads all output until the program ends, and reaps it.
  TCliResult Finish();

 private:
  pid_t Child = -1;
  int OutFd = -1;
  int ErrFd = -1;
  std::string EarlyOut;
};

TCliResult RunCli(const std::vector<std::string>& arguments, const TCliOptions& options = {});
// Runs korvane-cli through the shell, for redirections and limits: the
// script gets the program as $0 and the arguments as "$@".
TCliResult RunShell(const std::string& script, const std::vector<std::string>& arguments,
                    TCliOptions options = {});

// The output split at LF (the last, empty piece after the final LF dropped).
std::vector<std::string> SplitLines(const std::string& text, const std::string& end = "\n");
