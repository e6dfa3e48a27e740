#include "FileList.h"

#include <algorithm>

#include "ChosenList.h"
#include "DirSearch.h"
#include "VerifierUnit.h"

namespace {

// Splits at ';'. Empty patterns are kept: like an empty mask, they match
// nothing, which the search itself decides.
std::vector<std::string> Patterns(const std::string& maskText) {
  std::vector<std::string> patterns;
  std::string::size_type start = 0;
  for (;;) {
    const auto end = maskText.find(';', start);
    patterns.push_back(maskText.substr(start, end - start));
    if (end == std::string::npos) return patterns;
    start = end + 1;
  }
}

}  // namespace

std::vector<TListEntry> ListMatchingFiles(const std::string& directory, const std::string& maskText,
                                          bool allFileAttributes, std::stop_token stop) {
  std::vector<TListEntry> entries;
  for (const std::string& pattern : Patterns(maskText)) {
    // A name never holds '/': such a pattern would search another directory.
    if (pattern.find('/') != std::string::npos) continue;
    Platform::TDirSearch search(JoinPath(directory, pattern),
                                FileSearchAttributes(allFileAttributes));
    Platform::TSearchEntry found;
    while (!stop.stop_requested() && search.Next(found))
      entries.emplace_back(std::move(found.Name));
  }
  // Abandoned: not worth sorting, and the window may be waiting for the end.
  if (stop.stop_requested()) return {};
  std::sort(entries.begin(), entries.end());
  // A name that matches several patterns is listed once.
  entries.erase(
      std::unique(entries.begin(), entries.end(),
                  [](const TListEntry& a, const TListEntry& b) { return a.Bytes == b.Bytes; }),
      entries.end());
  return entries;
}

TFileListModel::~TFileListModel() = default;

void TFileListModel::List(const std::string& directory, const std::string& maskText,
                          bool allFileAttributes) {
  const std::uint64_t generation = ++Generation;
  std::vector<TListEntry> previous;
  beginResetModel();
  previous.swap(Entries);
  FDirectory = directory;
  FListing = true;
  endResetModel();
  // Assigning joins the previous listing, which stops between two entries.
  Worker = std::jthread([this, generation, directory, maskText, allFileAttributes,
                         previous = std::move(previous)](std::stop_token stop) mutable {
    // Freeing a long list takes the window tens of milliseconds: done here.
    std::vector<TListEntry>().swap(previous);
    auto entries = std::make_shared<std::vector<TListEntry>>(
        ListMatchingFiles(directory, maskText, allFileAttributes, stop));
    if (stop.stop_requested()) return;
    QMetaObject::invokeMethod(
        this, [this, generation, entries] { Accept(generation, *entries); }, Qt::QueuedConnection);
  });
}

void TFileListModel::Accept(std::uint64_t generation, std::vector<TListEntry>& entries) {
  if (generation != Generation) return;
  beginResetModel();
  Entries = std::move(entries);
  FListing = false;
  endResetModel();
  emit Listed();
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Entries.size());
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return Entries[static_cast<std::size_t>(index.row())].Text;
}
