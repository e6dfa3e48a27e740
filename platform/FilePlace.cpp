#include "FilePlace.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <memory>
#include <string_view>
#include <vector>

namespace Platform {

namespace {

// As the system allows in one name's resolution.
constexpr int MaxLinks = 40;

// The number after prefix when text is prefix + digits only.
std::optional<int> NumberAfter(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix) || text.size() == prefix.size()) return std::nullopt;
  text.remove_prefix(prefix.size());
  int number = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// The descriptor a name stands for, as the shell's /dev/stdout does.
// Opening such a name would open the file behind the descriptor anew, at
// its start and without its append mode, and replacing it would replace
// that file: `--log=/dev/stdout >> history.log` must append to history.log.
std::optional<int> DescriptorOf(std::string_view name) {
  if (name == "/dev/stdin") return 0;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  const std::string own = "/proc/" + std::to_string(getpid()) + "/";
  for (const std::string_view prefix : {std::string_view("/dev/fd/"),
                                        std::string_view("/proc/self/fd/"),
                                        std::string_view("/proc/thread-self/fd/")}) {
    if (const auto fd = NumberAfter(name, prefix)) return fd;
  }
  // What /proc/self and /proc/thread-self resolve to.
  if (!name.starts_with(own)) return std::nullopt;
  name.remove_prefix(own.size());
  if (name.starts_with("task/")) {
    const auto slash = name.find('/', 5);
    if (slash == std::string_view::npos) return std::nullopt;
    name.remove_prefix(slash + 1);
  }
  return NumberAfter(name, "fd/");
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// "." and ".." taken by the text alone, for parts that do not exist.
std::string Lexical(const std::string& absolute) {
  std::vector<std::string> kept;
  for (std::size_t start = 0; start <= absolute.size();) {
    const std::size_t slash = std::min(absolute.find('/', start), absolute.size());
    const std::string part = absolute.substr(start, slash - start);
    start = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") kept.push_back(part);
    else if (!kept.empty()) kept.pop_back();
  }
  std::string path;
  for (const std::string& part : kept) path += "/" + part;
  return path.empty() ? "/" : path;
}

std::string Absolute(const std::string& name) {
  if (name.starts_with('/')) return name;
  const std::unique_ptr<char, decltype(&free)> here(getcwd(nullptr, 0), &free);
  return (here ? std::string(here.get()) : std::string()) + "/" + name;
}

std::optional<std::string> RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

}  // namespace

TResolvedName ResolveName(const std::string& fileName) {
  std::string name = Absolute(fileName);
  while (name.size() > 1 && name.ends_with('/')) name.pop_back();
  for (int hop = 0; hop <= MaxLinks; ++hop) {
    if (const auto fd = DescriptorOf(name)) return {name, fd};
    const std::string base = name.substr(name.rfind('/') + 1);
    if (base.empty() || base == "." || base == "..")
      return {RealPath(name).value_or(Lexical(name)), std::nullopt};
    // The directory by the system; the last part is looked at here, since
    // it may be a descriptor's name or a link to one.
    const std::optional<std::string> directory = RealPath(DirectoryOf(name));
    if (!directory) return {Lexical(name), std::nullopt};
    name = (*directory == "/" ? "" : *directory) + "/" + base;
    if (const auto fd = DescriptorOf(name)) return {name, fd};
    char target[PATH_MAX];
    const ssize_t length = readlink(name.c_str(), target, sizeof target);
    if (length <= 0 || length == sizeof target) return {name, std::nullopt};
    const std::string link(target, static_cast<std::size_t>(length));
    name = link.starts_with('/') ? link : *directory + "/" + link;
  }
  return {name, std::nullopt};
}

TFilePlace PlaceOf(const std::string& fileName) {
  const TResolvedName resolved = ResolveName(fileName);
  struct stat found {};
  const bool exists = resolved.Descriptor ? fstat(*resolved.Descriptor, &found) == 0
                                          : stat(resolved.Path.c_str(), &found) == 0;
  return {.Exists = exists,
          .OneWriter = exists && (S_ISREG(found.st_mode) || S_ISFIFO(found.st_mode)),
          .Device = found.st_dev,
          .Inode = found.st_ino,
          .Path = resolved.Path};
}

bool SamePlace(const TFilePlace& a, const TFilePlace& b) {
  if (a.Exists != b.Exists) return false;
  if (!a.Exists) return a.Path == b.Path;
  return a.OneWriter && b.OneWriter && a.Device == b.Device && a.Inode == b.Inode;
}

}  // namespace Platform
