#include "TestFs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sysexits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr auto MountTimeout = 10s;

// Names and contents may hold any byte; the layout file is split at blanks
// and line ends, so everything but plain visible ASCII travels as %XX.
std::string Escape(const std::string& value) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7F || byte == '%') {
      out += '%';
      out += hex[byte >> 4];
      out += hex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string OctalText(unsigned mode) {
  std::ostringstream text;
  text << std::oct << mode;
  return text.str();
}

std::string LayoutText(const std::vector<TTestFile>& files, const std::vector<std::string>& emptyDirs,
                       const TTestFsOptions& options) {
  std::ostringstream out;
  out << "# korvane_testfs layout, written by TTestFs\n";
  for (const TTestFile& file : files) {
    out << "file path=" << Escape(file.Path) << " mode=" << OctalText(file.Mode);
    if (file.Content) {
      out << " content=" << Escape(*file.Content);
    } else {
      out << " size=" << file.Size;
    }
    if (file.ErrorAt >= 0) out << " error_at=" << file.ErrorAt;
    if (file.ActualSize >= 0) out << " actual_size=" << file.ActualSize;
    if (file.DelayMs > 0) out << " delay_ms=" << file.DelayMs;
    if (file.OpenDelayMs > 0) out << " open_delay_ms=" << file.OpenDelayMs;
    if (file.DenyOpen) out << " deny_open=1";
    if (file.GoodReads >= 0) out << " good_reads=" << file.GoodReads;
    for (const auto& [start, end] : file.BadRanges) out << " bad=" << start << '-' << end;
    for (const auto& [start, end] : file.FlakyRanges) out << " flaky=" << start << '-' << end;
    if (file.Source) out << " source=" << Escape(*file.Source);
    for (const auto& slow : file.SlowRegions)
      out << " slow=" << slow.Start << '-' << slow.End << ':' << slow.DelayMs;
    out << '\n';
  }
  for (const std::string& dir : emptyDirs) out << "dir path=" << Escape(dir) << '\n';
  for (const auto& [dir, delayMs] : options.SlowListings)
    out << "dir path=" << Escape(dir) << " delay_ms=" << delayMs << '\n';
  for (const TWritableDir& dir : options.WritableDirs) {
    out << "dir path=" << Escape(dir.Path) << " writable=1";
    if (dir.Free >= 0) out << " free=" << dir.Free;
    if (dir.WriteErrorAt >= 0) out << " write_error_at=" << dir.WriteErrorAt;
    out << '\n';
  }
  return out.str();
}

bool FoundInPath(const std::string& program) {
  const char* path = getenv("PATH");
  std::istringstream dirs(path != nullptr && *path != '\0' ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string ErrorName(int code) {
  const char* name = strerrorname_np(code);
  return name != nullptr ? name : "errno " + std::to_string(code);
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + sigabbrev_np(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// The filesystem's environment: the test's own, except that a ThreadSanitizer
// build of it must not sleep its default second at exit, which every
// unmount would wait for.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> variables;
  bool tsanOptions = false;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    variables.emplace_back(*variable);
    if (variables.back().starts_with("TSAN_OPTIONS=")) {
      variables.back() += ":atexit_sleep_ms=0";
      tsanOptions = true;
    }
  }
  if (!tsanOptions) variables.emplace_back("TSAN_OPTIONS=atexit_sleep_ms=0");
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// posix_spawn rather than fork: the tests run threads (and sanitizers), and a
// forked copy of a threaded process may do almost nothing before exec.
// stdout and stderr go to the log; `keepFd`, if given, becomes fd 3.
pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath, int keepFd, int& error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, 3);
  std::vector<std::string> argTexts(args);
  std::vector<std::string> envTexts = ChildEnvironment();
  const std::vector<char*> argv = Pointers(argTexts);
  const std::vector<char*> envp = Pointers(envTexts);
  pid_t pid = -1;
  error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

// Waits for our own child only (never -1: other children of the test
// process are not ours to reap). Returns false if it still runs at the end.
bool WaitFor(pid_t pid, std::chrono::milliseconds timeout, int& status) {
  const auto deadline = TClock::now() + timeout;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (TClock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

// /proc/self/mountinfo writes blanks and the like in a path as \ooo.
std::string UnescapeMountPath(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string digits = text.substr(i + 1, 3);
    if (text[i] == '\\' && digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
      out += static_cast<char>(std::stoi(digits, nullptr, 8));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

char TestFsByte(std::int64_t offset) {
  return static_cast<char>(static_cast<unsigned char>((offset * 7 + 3) & 0xFF));
}

TTestFs::TTestFs(std::vector<TTestFile> files, std::vector<std::string> emptyDirs,
                 TTestFsOptions options) {
  if (WorkDir.Path().empty()) {
    Error = "no temporary directory";
    return;
  }
  MountPoint = WorkDir.PathOf("mnt");
  const std::string layoutPath = WorkDir.PathOf("layout.txt");
  if (!WorkDir.MakeDir("mnt") || !WorkDir.WriteFile("layout.txt", LayoutText(files, emptyDirs, options))) {
    Error = "cannot prepare " + WorkDir.Path();
    return;
  }
  MachineLacksFuse = true;
  if (access("/dev/fuse", F_OK) != 0) {
    Error = "/dev/fuse does not exist";
    return;
  }
  if (!FoundInPath("fusermount3")) {
    Error = "fusermount3 is not installed";
    return;
  }
  MachineLacksFuse = false;
  Mount(layoutPath, options);
}

void TTestFs::Mount(const std::string& layoutPath, const TTestFsOptions& options) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    Error = "pipe2: " + ErrorName(errno);
    return;
  }
  // Moved out of the way of fds 0-3, which the child's set-up overwrites.
  const int watchEnd = fcntl(ends[0], F_DUPFD_CLOEXEC, 10);
  const int dupError = errno;
  close(ends[0]);
  WatchFd = ends[1];
  if (watchEnd < 0) {
    Error = "fcntl: " + ErrorName(dupError);
    return;
  }
  int error = 0;
  std::vector<std::string> args{KORVANE_TESTFS_PATH, "--layout", layoutPath, "--watch-fd", "3",
                                "--record", WorkDir.PathOf("record.txt")};
  if (options.KernelCache) args.emplace_back("--kernel-cache");
  if (options.Threaded) args.emplace_back("--threads");
  if (options.IgnoreInterrupts) args.emplace_back("--ignore-interrupts");
  args.push_back(MountPoint);
  Child = Spawn(args, WorkDir.PathOf("testfs.log"), watchEnd, error);
  close(watchEnd);
  if (Child < 0) {
    Error = std::string("cannot start ") + KORVANE_TESTFS_PATH + ": " + ErrorName(error);
    return;
  }
  const auto deadline = TClock::now() + MountTimeout;
  while (true) {
    int status = 0;
    if (waitpid(Child, &status, WNOHANG) == Child) {
      Child = -1;
      const bool ourFault = WIFEXITED(status) && (WEXITSTATUS(status) == EX_USAGE ||
                                                  WEXITSTATUS(status) == EX_NOINPUT ||
                                                  WEXITSTATUS(status) == EX_CANTCREAT ||
                                                  WEXITSTATUS(status) == EX_DATAERR);
      MachineLacksFuse = !ourFault;
      Error = "korvane_testfs ended (" + DescribeStatus(status) + ") without mounting" + LogTail();
      return;
    }
    if (ListedAsMount()) {
      IsMounted = true;
      return;
    }
    if (TClock::now() >= deadline) {
      Error = "korvane_testfs did not mount within 10 s" + LogTail();
      MachineLacksFuse = true;
      StopChild();
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
}

TTestFs::~TTestFs() {
  if (Child >= 0) {
    // A plain unmount fails while a test still holds a file open there; the
    // lazy one detaches the tree at once, and the open files die with the
    // filesystem process.
    const bool clean = ListedAsMount() && Fusermount({"-u"});
    if (!clean && ListedAsMount()) Fusermount({"-u", "-z"});
    int status = 0;
    // Once the kernel drops the connection the filesystem's loop ends by itself.
    if (clean && WaitFor(Child, 5000ms, status)) {
      Child = -1;
      // A sanitizer report in the filesystem shows up as its exit status.
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "korvane_testfs ended with " << DescribeStatus(status) << LogTail();
      }
    } else {
      StopChild();
    }
  }
  // A daemon killed by the test leaves its mount behind.
  if (Child < 0 && IsMounted && ListedAsMount()) Fusermount({"-u", "-z"});
  if (WatchFd >= 0) close(WatchFd);
  if (ListedAsMount()) ADD_FAILURE() << "could not unmount " << MountPoint << LogTail();
}

void TTestFs::KillDaemon() {
  if (Child < 0) return;
  kill(Child, SIGKILL);
  int status = 0;
  while (waitpid(Child, &status, 0) < 0 && errno == EINTR) {
  }
  Child = -1;
}

void TTestFs::StopChild() {
  if (Child < 0) return;
  int status = 0;
  kill(Child, SIGTERM);
  if (!WaitFor(Child, 2000ms, status)) {
    kill(Child, SIGKILL);
    while (waitpid(Child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  Child = -1;
  // Killed hard, the process could not unmount; its connection is gone, and
  // a lazy unmount clears what is left.
  if (ListedAsMount()) Fusermount({"-u", "-z"});
}

bool TTestFs::Fusermount(std::vector<std::string> options) const {
  options.insert(options.begin(), "fusermount3");
  options.push_back(MountPoint);
  int error = 0;
  const pid_t pid = Spawn(options, WorkDir.PathOf("testfs.log"), -1, error);
  int status = -1;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool TTestFs::ListedAsMount() const {
  if (MountPoint.empty()) return false;
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mounts, line)) {
    // id parent major:minor root mount-point options ...
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 5 && fields >> field; ++i) {
    }
    if (UnescapeMountPath(field) == MountPoint) return true;
  }
  return false;
}

std::string TTestFs::LogTail() const {
  std::ifstream in(WorkDir.PathOf("testfs.log"), std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  constexpr std::size_t keep = 2000;
  if (text.size() > keep) text = "..." + text.substr(text.size() - keep);
  return text.empty() ? std::string("\n(korvane_testfs wrote nothing)") : "\n--- korvane_testfs output ---\n" + text;
}

bool TTestFs::Mounted() const { return IsMounted; }

const std::string& TTestFs::Root() const { return MountPoint; }

std::string TTestFs::PathOf(const std::string& relative) const { return MountPoint + "/" + relative; }

const std::string& TTestFs::MountError() const { return Error; }

bool TTestFs::FuseUnavailable() const { return !IsMounted && MachineLacksFuse; }

bool TTestFs::RequiredHere() {
  const char* ci = getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

// Lines "KIND /relative/path ..." of the record, as relative paths.
std::vector<std::string> TTestFs::RecordedPaths(const std::string& kind) const {
  std::ifstream record(WorkDir.PathOf("record.txt"));
  std::vector<std::string> paths;
  std::string line;
  const std::string prefix = kind + " /";
  while (std::getline(record, line)) {
    if (!line.starts_with(prefix)) continue;
    std::string path = line.substr(prefix.size());
    // A read line ends in its offset and size.
    if (kind == "read") path.erase(path.rfind(' ', path.rfind(' ') - 1));
    paths.push_back(path);
  }
  return paths;
}

int TTestFs::ReadsServed(const std::string& relative) const {
  const std::vector<std::string> reads = RecordedPaths("read");
  return static_cast<int>(std::count(reads.begin(), reads.end(), relative));
}

std::vector<std::string> TTestFs::OpenedFiles() const { return RecordedPaths("open"); }

std::vector<std::pair<std::int64_t, std::int64_t>> TTestFs::ReadRanges(
    const std::string& relative) const {
  std::ifstream record(WorkDir.PathOf("record.txt"));
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  const std::string prefix = "read /" + relative + " ";
  for (std::string line; std::getline(record, line);) {
    if (!line.starts_with(prefix)) continue;
    std::istringstream numbers(line.substr(prefix.size()));
    std::int64_t offset = 0, size = 0;
    if (numbers >> offset >> size) ranges.emplace_back(offset, offset + size);
  }
  return ranges;
}
