#pragma once
// The chosen list of the selection dialog: the items a run will check,
// always in alphabetical order with letter case ignored.
#include <string>
#include <vector>

#include <QAbstractListModel>
#include <QList>
#include <QListView>
#include <QUrl>

#include "ListEntry.h"
#include "VerifyStatus.h"

// Directory and name with exactly one '/' between them: a directory that
// already ends in '/' (the root) is followed by the name directly.
std::string JoinPath(const std::string& directory, const std::string& name);

class TChosenListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  // Whether an entry has exactly these bytes, letter case included.
  bool Contains(const std::string& item) const;
  // Adds the item at its sorted place; no duplicate check.
  void Insert(std::string item);
  // Replaces every entry; the items are shown sorted.
  void Assign(const TStringList& items);
  // Removes the entries of these rows.
  void Remove(std::vector<int> rows);
  // The entries in the list's order.
  TStringList Items() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  std::vector<TListEntry> Entries;
};

// The chosen list's view. Besides selecting, it takes files and folders
// dropped from a file manager and the Delete key, and leaves what to do
// with them to the dialog.
class TChosenListView : public QListView {
  Q_OBJECT

 public:
  explicit TChosenListView(QWidget* parent = nullptr);

 signals:
  // Local paths of the dropped files and folders, in the order given.
  void PathsDropped(const QStringList& paths);
  void DeletePressed();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// Rows of a view's selection, first to last.
std::vector<int> SelectedRows(const QAbstractItemView& view);
