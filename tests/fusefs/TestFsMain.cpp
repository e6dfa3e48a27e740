// korvane_testfs --layout FILE [--watch-fd N] [--record FILE] [--kernel-cache]
//                [--threads] [--ignore-interrupts] [fuse options] MOUNTPOINT
//
// A FUSE filesystem whose files fail the way worn media do, so that the
// engine's tests meet real I/O errors through the real system calls. It is
// read-only except in the directories its layout marks writable, which may
// fill up or fail mid-write.
// --record appends a line for every open ("open /a/b") and every read
// request served ("read /a/b OFFSET SIZE"), written before the request is
// answered. --kernel-cache lets the kernel keep file data in its page cache
// across opens, as it does for a disk, instead of passing every read on.
// It always runs in the foreground and, unless --threads is given,
// single-threaded: the tests start it as a child process and expect
// requests to be answered in order. --threads answers each request on a
// thread of its own, so that one read held in a slow region does not hold
// up the rest of the mount, as on a disk where one sector hangs.
// --ignore-interrupts holds a request its full time even when the process
// that made it is interrupted or killed, as a device in uninterruptible
// sleep does.
// Exit status: 0 after unmounting; EX_USAGE, EX_NOINPUT or EX_DATAERR when
// the command line or the layout is at fault (a fault of the test, never of
// the machine); anything else is libfuse failing to mount or serve.
#define FUSE_USE_VERSION 31
#include <fuse.h>
#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <signal.h>
#include <sysexits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Layout.h"

namespace {

struct TFsState {
  TLayout Layout;
  time_t Started = 0;
  int WatchFd = -1;
  int RecordFd = -1;
  bool KernelCache = false;
  // A held request is answered only when its time is up, whatever the
  // kernel says: a device in uninterruptible sleep.
  bool IgnoreInterrupts = false;
  // Guards the layout's changes and the counts with --threads.
  std::mutex Mutex;
  std::map<std::string, int> ReadsServed;
  std::map<std::string, int> FlakyReads;  // reads that touched a flaky stretch
};

TFsState& State() { return *static_cast<TFsState*>(fuse_get_context()->private_data); }

const TLayoutNode* Lookup(const char* path) { return State().Layout.Find(path); }

// The test process holds the other end of this pipe and never writes to it.
// When that process ends, even by a crash, the read returns and the
// filesystem stops and unmounts itself instead of lingering as an orphan.
void WatchParent(int fd) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  // Blocked in the watcher so that SIGTERM reaches the main thread, whose
  // read of /dev/fuse it interrupts; libfuse's handler then ends the loop.
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  std::thread([fd] {
    char byte = 0;
    while (read(fd, &byte, 1) < 0 && errno == EINTR) {
    }
    kill(getpid(), SIGTERM);
  }).detach();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void Record(const std::string& line) {
  const int fd = State().RecordFd;
  if (fd < 0) return;
  const std::string text = line + "\n";
  // One write per line on an O_APPEND descriptor: the test reads whole lines.
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
}

void* Init(fuse_conn_info*, fuse_config* config) {
  TFsState& state = State();
  // Without the cache every read() of a test reaches us with its own offset
  // and size: no page cache, no readahead. fi->direct_io is also set on
  // each open.
  config->direct_io = state.KernelCache ? 0 : 1;
  config->kernel_cache = state.KernelCache ? 1 : 0;
  // A file keeps the inode number of its first lookup for the life of the
  // mount, as on a disk: one the kernel forgets under memory pressure must
  // not come back as another file.
  config->remember = -1;
  // The kernel's interrupt of a request reaches the thread serving it as
  // SIGUSR1 (see HoldRequest); main() gives the signal a handler.
  config->intr = 1;
  // Started only now: libfuse has installed its signal handlers by the time
  // the first request is served, so SIGTERM always means a clean unmount.
  if (state.WatchFd >= 0) WatchParent(state.WatchFd);
  return &state;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
  const TLayoutNode* node = Lookup(path);
  if (node == nullptr) return -ENOENT;
  *st = {};
  st->st_mode = (node->Directory ? S_IFDIR : S_IFREG) | node->Mode;
  st->st_nlink = node->Directory ? 2 : 1;
  st->st_uid = getuid();
  st->st_gid = getgid();
  st->st_size = node->Size;
  st->st_blksize = 4096;
  st->st_blocks = (node->Size + 511) / 512;
  st->st_atime = st->st_mtime = st->st_ctime = State().Started;
  return 0;
}

// Waits in short steps, so that an unmount or SIGTERM ends even a request
// held for minutes at once. True when the caller gave up on it (with
// --threads, a process that ends while its read hangs): the request is
// then answered with EINTR, as a driver answers an aborted transfer.
bool HoldRequest(int delayMs) {
  if (delayMs <= 0) return false;
  fuse_session* session = fuse_get_session(fuse_get_context()->fuse);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
  while (std::chrono::steady_clock::now() < until && !fuse_session_exited(session)) {
    if (fuse_interrupted() != 0 && !State().IgnoreInterrupts) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(delayMs, 20)));
  }
  return false;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
  const TLayoutNode* node = Lookup(path);
  if (node == nullptr) return -ENOENT;
  if (!node->Directory) return -ENOTDIR;
  if (HoldRequest(node->DelayMs)) return -EINTR;
  const auto noFlags = static_cast<fuse_fill_dir_flags>(0);
  fill(buffer, ".", nullptr, 0, noFlags);
  fill(buffer, "..", nullptr, 0, noFlags);
  for (const std::string& name : node->Children) {
    if (fill(buffer, name.c_str(), nullptr, 0, noFlags) != 0) break;
  }
  return 0;
}

int Open(const char* path, fuse_file_info* fi) {
  const TLayoutNode* node = Lookup(path);
  if (node == nullptr) return -ENOENT;
  // Answered here rather than by the kernel's permission check (no
  // default_permissions), so that root is refused as well.
  if (node->DenyOpen) return -EACCES;
  if (HoldRequest(node->OpenDelayMs)) return -EINTR;
  const bool changes = (fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & O_TRUNC) != 0;
  if (changes && !State().Layout.InWritableDir(path)) return -EACCES;
  fi->direct_io = State().KernelCache ? 0 : 1;
  fi->keep_cache = State().KernelCache ? 1 : 0;
  Record(std::string("open ") + path);
  if ((fi->flags & O_TRUNC) == 0) return 0;
  std::lock_guard hold(State().Mutex);
  return State().Layout.Truncate(path, 0);
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
  fi->direct_io = 1;
  std::lock_guard hold(State().Mutex);
  return State().Layout.Create(path, mode);
}


bool TouchesFlaky(const TLayoutNode& node, size_t size, off_t offset) {
  const auto end = offset + static_cast<off_t>(size);
  for (const auto& [start, stop] : node.FlakyRanges)
    if (offset < stop && start < end) return true;
  return false;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
  const TLayoutNode* node = Lookup(path);
  if (node == nullptr) return -ENOENT;
  Record(std::string("read ") + path + " " + std::to_string(offset) + " " + std::to_string(size));
  if (HoldRequest(ReadDelayMs(*node, size, offset))) return -EINTR;
  // A medium that went bad after the copy: what was read once is gone.
  const int served = [path] {
    std::lock_guard hold(State().Mutex);
    return State().ReadsServed[path]++;
  }();
  if (node->GoodReads >= 0 && served >= node->GoodReads) return -EIO;
  if (TouchesFlaky(*node, size, offset)) {
    std::lock_guard hold(State().Mutex);
    if (State().FlakyReads[path]++ % 2 == 0) return -EIO;
  }
  return ReadNode(*node, buffer, size, offset);
}

int Access(const char* path, int mask) {
  const TLayoutNode* node = Lookup(path);
  if (node == nullptr) return -ENOENT;
  const bool writable = node->Writable || (!node->Directory && State().Layout.InWritableDir(path));
  return (mask & W_OK) != 0 && !writable ? -EACCES : 0;
}

// Nothing on this filesystem can be changed, so that the mount doubles as a
// place where even root cannot write.
int DenyPath(const char*) { return -EACCES; }
int DenyTwoPaths(const char*, const char*) { return -EACCES; }

template <class TChange>
int Locked(TChange change) {
  std::lock_guard hold(State().Mutex);
  return change();
}

fuse_operations Operations() {
  fuse_operations ops{};
  ops.init = Init;
  ops.getattr = GetAttr;
  ops.readdir = ReadDir;
  ops.open = Open;
  ops.read = Read;
  ops.access = Access;
  ops.mknod = [](const char*, mode_t, dev_t) { return -EACCES; };
  ops.mkdir = [](const char*, mode_t) { return -EACCES; };
  ops.unlink = [](const char* path) { return Locked([&] { return State().Layout.Remove(path); }); };
  ops.rmdir = DenyPath;
  ops.symlink = DenyTwoPaths;
  ops.link = DenyTwoPaths;
  ops.rename = [](const char* from, const char* to, unsigned flags) {
    return flags != 0 ? -EINVAL : Locked([&] { return State().Layout.Rename(from, to); });
  };
  ops.chmod = [](const char* path, mode_t mode, fuse_file_info*) {
    return Locked([&] { return State().Layout.Chmod(path, mode); });
  };
  ops.chown = [](const char*, uid_t, gid_t, fuse_file_info*) { return -EACCES; };
  ops.truncate = [](const char* path, off_t size, fuse_file_info*) {
    return Locked([&] { return State().Layout.Truncate(path, size); });
  };
  ops.utimens = [](const char*, const auto*, fuse_file_info*) { return -EACCES; };
  ops.write = [](const char* path, const char* data, size_t size, off_t offset, fuse_file_info*) {
    return Locked([&] { return State().Layout.Write(path, data, size, offset); });
  };
  ops.create = Create;
  ops.flush = [](const char*, fuse_file_info*) { return 0; };
  ops.fsync = [](const char*, int, fuse_file_info*) { return 0; };
  ops.fallocate = [](const char*, int, off_t, off_t, fuse_file_info*) { return -EACCES; };
  ops.setxattr = [](const char*, const char*, const char*, size_t, int) { return -EACCES; };
  ops.removexattr = [](const char*, const char*) { return -EACCES; };
  return ops;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return !in.bad();
}

int Usage() {
  std::fprintf(stderr,
               "usage: korvane_testfs --layout FILE [--watch-fd N] [--record FILE] "
               "[--kernel-cache] [--threads] [--ignore-interrupts] [fuse options] MOUNTPOINT\n");
  return EX_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
  static TFsState state;
  std::string layoutPath;
  // Our own options are taken out; the rest goes to libfuse as given.
  std::vector<std::string> fuseArgs{argv[0], "-f", "-s", "-o", "fsname=korvane_testfs,subtype=korvane_testfs"};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool takesValue = arg == "--layout" || arg == "--watch-fd" || arg == "--record";
    if (takesValue && i + 1 >= argc) return Usage();
    if (arg == "--layout") {
      layoutPath = argv[++i];
    } else if (arg == "--watch-fd") {
      state.WatchFd = std::atoi(argv[++i]);
    } else if (arg == "--record") {
      state.RecordFd = open(argv[++i], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (state.RecordFd < 0) return EX_CANTCREAT;
    } else if (arg == "--kernel-cache") {
      state.KernelCache = true;
    } else if (arg == "--ignore-interrupts") {
      state.IgnoreInterrupts = true;
    } else if (arg == "--threads") {
      std::erase(fuseArgs, "-s");
    } else {
      fuseArgs.push_back(arg);
    }
  }
  if (layoutPath.empty()) return Usage();
  std::string text;
  if (!ReadWholeFile(layoutPath, text)) {
    std::fprintf(stderr, "korvane_testfs: cannot read %s\n", layoutPath.c_str());
    return EX_NOINPUT;
  }
  const std::string problem = state.Layout.Load(text);
  if (!problem.empty()) {
    std::fprintf(stderr, "korvane_testfs: %s: %s\n", layoutPath.c_str(), problem.c_str());
    return EX_DATAERR;
  }
  state.Started = time(nullptr);
  // Set in Init, intr finds no handler of libfuse's own: without one,
  // SIGUSR1 would end the process. Without SA_RESTART it cuts a held
  // request's sleep short.
  struct sigaction interrupt {};
  interrupt.sa_handler = [](int) {};
  sigaction(SIGUSR1, &interrupt, nullptr);
  std::vector<char*> fuseArgv;
  for (std::string& arg : fuseArgs) fuseArgv.push_back(arg.data());
  fuseArgv.push_back(nullptr);
  const fuse_operations ops = Operations();
  return fuse_main(static_cast<int>(fuseArgs.size()), fuseArgv.data(), &ops, &state);
}

#if defined(__SANITIZE_ADDRESS__)
// libfuse keeps a request the kernel handed it when the file system is
// unmounted while that request still waits (a test that stops mid-read);
// nothing frees it before the process ends. Our own allocations stay checked.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfuse3.so\n"; }
#endif
