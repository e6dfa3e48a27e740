#pragma once
// The file list of the selection dialog: the files of one directory that a
// run would check for a mask and the attribute option, listed by the walk's
// own directory search on a thread of its own, so that a directory of many
// thousands of files never stalls the window.
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractListModel>

#include "ListEntry.h"

// The files of directory that match maskText, sorted by name, each once.
// The mask text may hold several patterns separated by ';', each searched
// in turn. Gives nothing once stop has been requested.
std::vector<TListEntry> ListMatchingFiles(const std::string& directory, const std::string& maskText,
                                          bool allFileAttributes, std::stop_token stop = {});

class TFileListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;
  ~TFileListModel() override;

  // Empties the list at once and fills it when the search has ended; a
  // listing still under way is abandoned.
  void List(const std::string& directory, const std::string& maskText, bool allFileAttributes);

  // The directory whose files the list holds (or is about to hold).
  const std::string& Directory() const { return FDirectory; }
  const std::string& Name(int row) const { return Entries[static_cast<std::size_t>(row)].Bytes; }
  bool Listing() const { return FListing; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 signals:
  // The list now shows every file of the last listing asked for.
  void Listed();

 private:
  void Accept(std::uint64_t generation, std::vector<TListEntry>& entries);

  std::vector<TListEntry> Entries;
  std::string FDirectory;
  std::uint64_t Generation = 0;
  bool FListing = false;
  // Last, so that it is joined before anything it could post to goes away.
  std::jthread Worker;
};
