// The writable directories of korvane_testfs: enough of a real file system
// for a program to save a file safely (create, write, flush, rename) and to
// meet a full disk or a failing write while it does.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Layout.h"

namespace {

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A file listed with a size but no content holds the pattern bytes.
void Materialise(TLayoutNode& file) {
  if (file.Content) return;
  file.Content = std::string(static_cast<std::size_t>(file.DataEnd), '\0');
  ReadNode(file, file.Content->data(), file.Content->size(), 0);
  file.Size = file.DataEnd;
}

}  // namespace

TLayoutNode* TLayout::FindNode(const std::string& path) {
  const auto found = Nodes.find(path);
  return found == Nodes.end() ? nullptr : &found->second;
}

bool TLayout::InWritableDir(const std::string& path) const {
  const TLayoutNode* dir = Find(ParentOf(path));
  return path != "/" && dir != nullptr && dir->Writable;
}

std::pair<TLayoutNode*, TLayoutNode*> TLayout::WritableFile(const std::string& path) {
  TLayoutNode* file = FindNode(path);
  if (file == nullptr || file->Directory || !InWritableDir(path)) return {nullptr, nullptr};
  Materialise(*file);
  return {file, FindNode(ParentOf(path))};
}

int TLayout::Create(const std::string& path, unsigned mode) {
  if (!InWritableDir(path)) return -EACCES;
  if (Find(path) != nullptr) return -EEXIST;
  TLayoutNode file;
  file.Mode = mode & 07777;
  file.Content = std::string();
  Nodes.emplace(path, file);
  FindNode(ParentOf(path))->Children.push_back(NameOf(path));
  return 0;
}

int TLayout::Resize(TLayoutNode& file, TLayoutNode& dir, std::int64_t size) {
  const std::int64_t growth = size - file.Size;
  if (dir.Free >= 0 && growth > dir.Free) return -ENOSPC;
  if (dir.Free >= 0) dir.Free -= growth;
  file.Content->resize(static_cast<std::size_t>(size));
  file.Size = file.DataEnd = size;
  return 0;
}

int TLayout::Write(const std::string& path, const char* data, std::size_t size, std::int64_t offset) {
  const auto [file, dir] = WritableFile(path);
  if (file == nullptr) return -EACCES;
  auto count = static_cast<std::int64_t>(std::min<std::size_t>(size, 1 << 30));
  // Like a drive's bad sector: the whole request fails, not just its tail.
  if (dir->WriteErrorAt >= 0 && offset + count > dir->WriteErrorAt) return -EIO;
  // A full disk takes what still fits, then refuses.
  if (dir->Free >= 0) count = std::min(count, file->Size - offset + dir->Free);
  if (count <= 0) return -ENOSPC;
  if (offset + count > file->Size) Resize(*file, *dir, offset + count);
  std::memcpy(file->Content->data() + offset, data, static_cast<std::size_t>(count));
  return static_cast<int>(count);
}

int TLayout::Truncate(const std::string& path, std::int64_t size) {
  const auto [file, dir] = WritableFile(path);
  return file == nullptr ? -EACCES : Resize(*file, *dir, size);
}

int TLayout::Chmod(const std::string& path, unsigned mode) {
  const auto [file, dir] = WritableFile(path);
  if (file == nullptr) return -EACCES;
  file->Mode = mode & 07777;
  return 0;
}

int TLayout::Remove(const std::string& path) {
  const auto [file, dir] = WritableFile(path);
  if (file == nullptr) return -EACCES;
  if (dir->Free >= 0) dir->Free += file->Size;
  std::erase(dir->Children, NameOf(path));
  Nodes.erase(path);
  return 0;
}

int TLayout::Rename(const std::string& from, const std::string& to) {
  if (ParentOf(from) != ParentOf(to)) return -EXDEV;
  if (WritableFile(from).first == nullptr) return -EACCES;
  if (from == to) return 0;
  if (const TLayoutNode* existing = Find(to)) {
    if (existing->Directory) return -EISDIR;
    Remove(to);
  }
  auto node = Nodes.extract(from);
  node.key() = to;
  Nodes.insert(std::move(node));
  std::vector<std::string>& names = FindNode(ParentOf(to))->Children;
  std::replace(names.begin(), names.end(), NameOf(from), NameOf(to));
  return 0;
}
