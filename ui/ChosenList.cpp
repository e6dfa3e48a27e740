#include "ChosenList.h"

#include <algorithm>
#include <functional>

#include <QDropEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + '/' + name;
}

bool TChosenListModel::Contains(const std::string& item) const {
  return std::any_of(Entries.begin(), Entries.end(),
                     [&](const TListEntry& entry) { return entry.Bytes == item; });
}

void TChosenListModel::Insert(std::string item) {
  TListEntry entry(std::move(item));
  const auto place = std::upper_bound(Entries.begin(), Entries.end(), entry);
  const int row = static_cast<int>(place - Entries.begin());
  beginInsertRows(QModelIndex(), row, row);
  Entries.insert(place, std::move(entry));
  endInsertRows();
}

void TChosenListModel::Assign(const TStringList& items) {
  beginResetModel();
  Entries.clear();
  for (const std::string& item : items) Entries.emplace_back(item);
  std::stable_sort(Entries.begin(), Entries.end());
  endResetModel();
}

void TChosenListModel::Remove(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    beginRemoveRows(QModelIndex(), row, row);
    Entries.erase(Entries.begin() + row);
    endRemoveRows();
  }
}

TStringList TChosenListModel::Items() const {
  TStringList items;
  items.reserve(Entries.size());
  for (const TListEntry& entry : Entries) items.push_back(entry.Bytes);
  return items;
}

int TChosenListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Entries.size());
}

QVariant TChosenListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return Entries[static_cast<std::size_t>(index.row())].Text;
}

TChosenListView::TChosenListView(QWidget* parent) : QListView(parent) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
}

namespace {

QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (!data) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  return paths;
}

}  // namespace

void TChosenListView::dragEnterEvent(QDragEnterEvent* event) {
  if (LocalPaths(event->mimeData()).isEmpty()) return event->ignore();
  event->acceptProposedAction();
}

void TChosenListView::dragMoveEvent(QDragMoveEvent* event) {
  if (LocalPaths(event->mimeData()).isEmpty()) return event->ignore();
  event->acceptProposedAction();
}

void TChosenListView::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalPaths(event->mimeData());
  if (paths.isEmpty()) return event->ignore();
  event->acceptProposedAction();
  emit PathsDropped(paths);
}

void TChosenListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit DeletePressed();
    return;
  }
  QListView::keyPressEvent(event);
}

std::vector<int> SelectedRows(const QAbstractItemView& view) {
  std::vector<int> rows;
  if (!view.selectionModel()) return rows;
  for (const QModelIndex& index : view.selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}
