#pragma once
// Small helpers shared by the benchmark programs: wall-clock timing with the
// best of several rounds, a printed ratio against a baseline, programs run
// quietly, and the 1 GiB file.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

inline double SecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of rounds runs of each, alternating, so that both see the same
// state of the machine.
inline std::pair<double, double> BestOf(int rounds, const std::function<void()>& subject,
                                        const std::function<void()>& baseline) {
  double best = 1e300, bestBase = 1e300;
  for (int i = 0; i < rounds; ++i) {
    bestBase = std::min(bestBase, SecondsOf(baseline));
    best = std::min(best, SecondsOf(subject));
  }
  return {best, bestBase};
}

inline bool ReportRatio(const std::string& what, double seconds, double baseline, double limit) {
  const double ratio = seconds / baseline;
  const bool ok = ratio <= limit;
  std::printf("%-58s %8.3f s vs %8.3f s  ratio %.3f (limit %.2f) %s\n", what.c_str(), seconds,
              baseline, ratio, limit, ok ? "ok" : "OVER");
  return ok;
}

// Runs a program with its output thrown away and waits for it; usage, when
// given, receives what that child alone used (wait4).
inline void RunQuietly(std::vector<std::string> argv, rusage* usage = nullptr) {
  std::vector<char*> pointers;
  for (auto& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  if (posix_spawnp(&child, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0)
    std::abort();
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage ignored{};
  wait4(child, &status, 0, usage != nullptr ? usage : &ignored);
}

// Peak resident memory of one run of a program, in KiB, taken from that
// child alone (wait4), output thrown away. The child shares this process's
// memory until it starts the program: measure before this process grows.
inline long PeakKib(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  rusage usage{};
  RunQuietly(argv, &usage);
  return usage.ru_maxrss;
}

// Drops the system's caches, so that what is read next comes from the
// medium; needs root, false where that is refused.
inline bool DropCaches() {
  sync();
  const int fd = open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool done = write(fd, "3", 1) == 1;
  close(fd);
  return done;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline void Shell(const std::string& command) {
  if (std::system(command.c_str()) == -1) std::abort();
}

// A 1 GiB file under scratch, made on first use. In a directory of its own:
// with the settings' default of all subdirectories on, an item naming one
// file is also looked for in every directory below its own, and the
// baselines read just the one file.
inline std::string BigFile(const std::string& scratch) {
  const std::string dir = scratch + "/korvane-bench-1g";
  const std::string path = dir + "/big.bin";
  mkdir(dir.c_str(), 0755);
  if (access(path.c_str(), F_OK) != 0)
    Shell("dd if=/dev/zero of='" + path + "' bs=1M count=1024 status=none");
  return path;
}
