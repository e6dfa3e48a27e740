#include "DirectoryChain.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Platform {

namespace {

// For reading where the directory allows it, so that its listing can use
// the same descriptor; otherwise (search permission without read
// permission) with O_PATH, as a place to look names up in. -1 and errno on
// failure.
int OpenDirectoryAt(int dirFd, const char* name, int extraFlags) {
  const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extraFlags);
  if (fd >= 0 || errno != EACCES) return fd;
  return openat(dirFd, name, O_PATH | O_DIRECTORY | O_CLOEXEC | extraFlags);
}

// Opens path one component at a time; returns 0 or the failing call's code.
int OpenStart(std::string_view path, int& fd) {
  fd = OpenDirectoryAt(AT_FDCWD, path.starts_with('/') ? "/" : ".", 0);
  if (fd < 0) return errno;
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    const std::string component(path.substr(at, slash - at));
    at = slash + 1;
    if (component.empty()) continue;
    const int next = OpenDirectoryAt(fd, component.c_str(), 0);
    const int error = errno;
    close(fd);
    fd = next;
    if (next < 0) return error;
  }
  return 0;
}

// Descriptors a run needs beside its directory chains: the standard three,
// the signal pipe, a listing, a file being read and one pinned while it is
// opened, the read-ahead helper's own, and a few for the libraries.
constexpr rlim_t ReservedDescriptors = 16;

bool OutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

}  // namespace

TFileIdentity IdentityOf(const struct stat& info) {
  const auto ns = [](const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
  };
  return {info.st_dev, info.st_ino, info.st_size, ns(info.st_mtim), ns(info.st_ctim)};
}

TFileIdentity IdentityOf(int fd) {
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return {};
  return IdentityOf(info);
}

TFileIdentity TDirectoryChain::Identity() const { return IdentityOf(Descriptor()); }

bool OnMemoryFileSystem(int fd) {
  struct statfs info {};
  if (fd < 0 || fstatfs(fd, &info) != 0) return false;
  return info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC;
}

bool TDirectoryChain::InMemory() const { return OnMemoryFileSystem(Descriptor()); }

std::size_t TDirectoryChain::OpenLimitWithin(std::size_t wanted) {
  rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  // The worker's chain, the read-ahead helper's and the counting walk's
  // share what is left, a third each at most, and each keeps at least its
  // innermost directory.
  const rlim_t spare = limit.rlim_cur > ReservedDescriptors ? limit.rlim_cur - ReservedDescriptors : 0;
  return std::clamp<std::size_t>(static_cast<std::size_t>(spare / 3), 1, wanted);
}

bool TDirectoryChain::GiveBackDescriptors() { return GiveBackAbove(Levels.size() - 1); }

// Closes the open levels between the start and keep, which stays open: the
// open levels are then still the innermost ones, without a gap.
bool TDirectoryChain::GiveBackAbove(std::size_t keep) {
  bool gaveBack = false;
  for (std::size_t i = 1; i < keep; ++i) {
    if (Levels[i].Fd < 0) continue;
    CloseLevel(Levels[i]);
    gaveBack = true;
  }
  return gaveBack;
}

TDirectoryChain::TDirectoryChain(std::string_view path, std::size_t openLimit)
    : StartPath(path), OpenLimit(std::max<std::size_t>(openLimit, 1)) {
  TLevel& start = Levels.emplace_back();
  start.Error = OpenStart(path, start.Fd);
  struct stat info {};
  if (start.Error == 0 && fstat(start.Fd, &info) == 0) {
    start.Device = info.st_dev;
    start.Inode = info.st_ino;
  }
}

bool TDirectoryChain::StandsAt(std::string_view path) const {
  const TLevel& start = Levels.front();
  if (Levels.size() != 1 || start.Error != 0 || start.Inode == 0 || path != StartPath) return false;
  struct stat info {};
  const std::string name = path.empty() ? "." : std::string(path);
  return stat(name.c_str(), &info) == 0 && info.st_dev == start.Device && info.st_ino == start.Inode;
}

TDirectoryChain::~TDirectoryChain() {
  for (TLevel& level : Levels) {
    if (level.Fd >= 0) close(level.Fd);
  }
}

void TDirectoryChain::OpenLevel(std::size_t index, bool again) {
  TLevel& level = Levels[index];
  const TLevel& parent = Levels[index - 1];
  if (parent.Error != 0) {
    level.Error = parent.Error;
    return;
  }
  int fd = OpenDirectoryAt(parent.Fd, level.Name.c_str(), O_NOFOLLOW);
  // Out of descriptors: the levels above the parent can be opened again
  // later, so they are given back rather than failing the directory.
  if (fd < 0 && OutOfDescriptors(errno) && GiveBackAbove(index - 1))
    fd = OpenDirectoryAt(parent.Fd, level.Name.c_str(), O_NOFOLLOW);
  struct stat info {};
  int error = fd < 0 ? errno : (fstat(fd, &info) != 0 ? errno : 0);
  // Opened with O_PATH, a symbolic link is opened itself instead of failing.
  if (error == 0 && !S_ISDIR(info.st_mode)) error = ENOTDIR;
  // Opened again on the way back up, it must still be the directory the
  // walk went down into, not one moved or made under that name since.
  if (error == 0 && again && (info.st_dev != level.Device || info.st_ino != level.Inode)) {
    error = ENOENT;
  }
  if (error != 0) {
    if (fd >= 0) close(fd);
    level.Error = error;
    return;
  }
  level.Fd = fd;
  level.Device = info.st_dev;
  level.Inode = info.st_ino;
  ++OpenCount;
}

void TDirectoryChain::CloseLevel(TLevel& level) {
  if (level.Fd < 0) return;
  close(level.Fd);
  level.Fd = -1;
  --OpenCount;
}

// The open levels below the start are always the innermost ones up to
// innermost, without a gap, so the outermost of them goes first.
void TDirectoryChain::KeepWithinLimit(std::size_t innermost) {
  if (OpenCount > OpenLimit) CloseLevel(Levels[innermost + 1 - OpenCount]);
}

void TDirectoryChain::Enter(const std::string& name) {
  Levels.push_back(TLevel{.Name = name});
  OpenLevel(Levels.size() - 1, false);
  KeepWithinLimit(Levels.size() - 1);
}

void TDirectoryChain::Leave() {
  if (Levels.size() == 1) return;
  CloseLevel(Levels.back());
  Levels.pop_back();
  const TLevel& now = Levels.back();
  if (now.Fd < 0 && now.Error == 0) Reopen();
}

// Reached only when every level below the start is closed (the open ones
// are the innermost), so the way down is opened again from the start, and
// the last OpenLimit levels stay open for the rest of the climb: a chain
// of depth d costs about d * d / (2 * OpenLimit) opens in all.
void TDirectoryChain::Reopen() {
  for (std::size_t i = 1; i < Levels.size(); ++i) {
    OpenLevel(i, true);
    KeepWithinLimit(i);
  }
}

}  // namespace Platform
