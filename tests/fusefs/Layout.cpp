#include "Layout.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    if (i + 2 >= value.size()) return std::nullopt;
    const int high = HexDigit(value[i + 1]);
    const int low = HexDigit(value[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(static_cast<unsigned char>(high * 16 + low));
    i += 2;
  }
  return out;
}

template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  return error == std::errc() && stop == end && !text.empty();
}

// Splits "a/b/c" into its names; empty, "." and ".." names are refused so
// that every entry has exactly one place in the tree.
std::optional<std::vector<std::string>> SplitPath(const std::string& relative) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = relative.find('/', start);
    std::string name = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    names.push_back(std::move(name));
    if (slash == std::string::npos) return names;
    start = slash + 1;
  }
}

// "START-END:MS"
// "START-END", a non-empty stretch.
bool ParseRange(const std::string& value, std::vector<std::pair<std::int64_t, std::int64_t>>& to) {
  const std::size_t dash = value.find('-');
  std::int64_t start = 0, end = 0;
  const bool ok = dash != std::string::npos && ParseNumber(value.substr(0, dash), start) &&
                  ParseNumber(value.substr(dash + 1), end) && 0 <= start && start < end;
  if (ok) to.emplace_back(start, end);
  return ok;
}

bool ParseSlowRegion(const std::string& value, TLayoutNode& node) {
  const std::size_t dash = value.find('-');
  const std::size_t colon = value.find(':');
  TLayoutNode::TSlowRegion region;
  const bool ok = dash != std::string::npos && colon != std::string::npos && dash < colon &&
                  ParseNumber(value.substr(0, dash), region.Start) &&
                  ParseNumber(value.substr(dash + 1, colon - dash - 1), region.End) &&
                  ParseNumber(value.substr(colon + 1), region.DelayMs) && 0 <= region.Start &&
                  region.Start < region.End && region.DelayMs >= 0;
  if (ok) node.SlowRegions.push_back(region);
  return ok;
}

}  // namespace

TLayout::TLayout() {
  TLayoutNode root;
  root.Directory = true;
  root.Mode = 0755;
  Nodes.emplace("/", root);
}

std::string TLayout::Load(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::string problem = LoadLine(line);
    if (!problem.empty()) return "line " + std::to_string(number) + ": " + problem;
  }
  return {};
}

std::string TLayout::LoadLine(const std::string& line) {
  std::istringstream words(line);
  std::string kind;
  words >> kind;
  if (kind != "file" && kind != "dir") return "unknown entry kind '" + kind + "'";
  TLayoutNode node;
  node.Directory = kind == "dir";
  node.Mode = node.Directory ? 0755 : 0644;
  std::optional<std::string> path;
  std::int64_t actualSize = -1;
  std::string word;
  while (words >> word) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos) return "'" + word + "' is not key=value";
    const std::string key = word.substr(0, equals);
    const std::optional<std::string> value = Unescape(word.substr(equals + 1));
    if (!value) return "bad %-escape in '" + word + "'";
    bool ok = true;
    if (key == "path") {
      path = *value;
    } else if (key == "size") {
      ok = ParseNumber(*value, node.Size) && node.Size >= 0;
    } else if (key == "error_at") {
      ok = ParseNumber(*value, node.ErrorAt);
    } else if (key == "bad") {
      ok = ParseRange(*value, node.BadRanges);
    } else if (key == "flaky") {
      ok = ParseRange(*value, node.FlakyRanges);
    } else if (key == "source") {
      node.Source = *value;
      struct stat info {};
      ok = stat(value->c_str(), &info) == 0;
      if (ok) node.Size = info.st_size;
    } else if (key == "slow") {
      ok = ParseSlowRegion(*value, node);
    } else if (key == "actual_size") {
      ok = ParseNumber(*value, actualSize);
    } else if (key == "delay_ms") {
      ok = ParseNumber(*value, node.DelayMs) && node.DelayMs >= 0;
    } else if (key == "open_delay_ms") {
      ok = ParseNumber(*value, node.OpenDelayMs) && node.OpenDelayMs >= 0;
    } else if (key == "good_reads") {
      ok = ParseNumber(*value, node.GoodReads) && node.GoodReads >= 0;
    } else if (key == "mode") {
      ok = ParseNumber(*value, node.Mode, 8) && node.Mode <= 07777;
    } else if (key == "deny_open") {
      ok = *value == "0" || *value == "1";
      node.DenyOpen = *value == "1";
    } else if (key == "writable") {
      ok = *value == "0" || *value == "1";
      node.Writable = *value == "1";
    } else if (key == "free") {
      ok = ParseNumber(*value, node.Free);
    } else if (key == "write_error_at") {
      ok = ParseNumber(*value, node.WriteErrorAt);
    } else if (key == "content") {
      node.Content = *value;
    } else {
      return "unknown key '" + key + "'";
    }
    if (!ok) return "bad value in '" + word + "'";
  }
  if (!path) return "no path";
  if (node.Content) node.Size = static_cast<std::int64_t>(node.Content->size());
  node.DataEnd = actualSize >= 0 && actualSize < node.Size ? actualSize : node.Size;
  return AddNode(*path, node);
}

std::string TLayout::AddNode(const std::string& relative, const TLayoutNode& node) {
  const auto names = SplitPath(relative);
  if (!names) return "bad path '" + relative + "'";
  std::string parent = "/";
  for (std::size_t i = 0; i < names->size(); ++i) {
    const std::string& name = (*names)[i];
    const std::string path = (parent == "/" ? "" : parent) + "/" + name;
    const bool last = i + 1 == names->size();
    auto found = Nodes.find(path);
    if (found == Nodes.end()) {
      TLayoutNode implied;
      implied.Directory = true;
      implied.Mode = 0755;
      found = Nodes.emplace(path, last ? node : implied).first;
      Nodes.at(parent).Children.push_back(name);
    } else if (!found->second.Directory && !last) {
      return "'" + path.substr(1) + "' is a file, so it cannot hold '" + relative + "'";
    } else if (last && (!found->second.Directory || !node.Directory)) {
      return "'" + relative + "' is named twice";
    } else if (last) {
      // A directory declared after a file inside it.
      found->second.Mode = node.Mode;
      found->second.Writable = node.Writable;
      found->second.Free = node.Free;
      found->second.WriteErrorAt = node.WriteErrorAt;
      found->second.DelayMs = node.DelayMs;
    }
    parent = path;
  }
  return {};
}

const TLayoutNode* TLayout::Find(const std::string& path) const {
  const auto found = Nodes.find(path);
  return found == Nodes.end() ? nullptr : &found->second;
}

int ReadDelayMs(const TLayoutNode& node, std::size_t size, std::int64_t offset) {
  int delay = node.DelayMs;
  const auto end = offset + static_cast<std::int64_t>(size);
  for (const TLayoutNode::TSlowRegion& region : node.SlowRegions)
    if (offset < region.End && region.Start < end) delay = std::max(delay, region.DelayMs);
  return delay;
}

namespace {

int ReadSource(const std::string& path, char* buffer, std::int64_t count, std::int64_t offset) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  const ssize_t got = pread(fd, buffer, static_cast<std::size_t>(count), offset);
  const int code = got < 0 ? -errno : static_cast<int>(got);
  close(fd);
  return code;
}

}  // namespace

int ReadNode(const TLayoutNode& node, char* buffer, std::size_t size, std::int64_t offset) {
  if (node.Directory) return -EISDIR;
  if (offset < 0) return -EINVAL;
  if (offset >= node.DataEnd || size == 0) return 0;
  // The kernel never asks for more than a few MiB at once; the cap only keeps
  // the count inside the int the FUSE interface answers with.
  const std::int64_t wanted = static_cast<std::int64_t>(std::min<std::size_t>(size, INT_MAX));
  const std::int64_t count = std::min(wanted, node.DataEnd - offset);
  // A bad sector fails every request that touches it, even when the bytes
  // before it in the same request are fine, as a real drive fails the
  // whole transfer.
  if (node.ErrorAt >= 0 && offset + count > node.ErrorAt) return -EIO;
  for (const auto& [start, end] : node.BadRanges)
    if (offset < end && start < offset + count) return -EIO;
  if (node.Source) return ReadSource(*node.Source, buffer, count, offset);
  if (node.Content) {
    std::memcpy(buffer, node.Content->data() + offset, static_cast<std::size_t>(count));
  } else {
    for (std::int64_t i = 0; i < count; ++i) {
      buffer[i] = static_cast<char>(static_cast<unsigned char>(((offset + i) * 7 + 3) & 0xFF));
    }
  }
  return static_cast<int>(count);
}
