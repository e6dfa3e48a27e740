#include "DirectoryTree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QSortFilterProxyModel>

#include "ListEntry.h"

namespace {

bool IsInside(const QString& path, const QString& directory) {
  if (directory == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
  return path == directory || path.startsWith(directory + QLatin1Char('/'));
}

}  // namespace

// Keeps the rows of one volume: its mount point, what lies below it, and
// the directories above it that lead there (the tree's root hides those).
class TVolumeFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void SetVolume(const QString& mountPoint) {
    Volume = mountPoint;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    auto* files = static_cast<QFileSystemModel*>(sourceModel());
    const QString path = files->filePath(files->index(row, 0, parent));
    return IsInside(path, Volume) || IsInside(Volume, path);
  }

 public:
  QVariant data(const QModelIndex& index, int role) const override {
    const QVariant value = QSortFilterProxyModel::data(index, role);
    // A directory name with a line feed stays one row.
    return role == Qt::DisplayRole ? QVariant(MarkControlCharacters(value.toString())) : value;
  }

 private:
  QString Volume = QStringLiteral("/");
};

TDirectoryTree::TDirectoryTree(QWidget* parent)
    : QTreeView(parent), Files(new QFileSystemModel(this)), Filter(new TVolumeFilter(this)) {
  Files->setReadOnly(true);
  Files->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
  Filter->setSourceModel(Files);
  setModel(Filter);
  for (int column = 1; column < Files->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setUniformRowHeights(true);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { CurrentChanged(current); });
  // Directories load in the background; the rows that arrive above the
  // current one would push it out of sight.
  connect(Files, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    if (IsInside(FDirectory, path) && currentIndex().isValid()) scrollTo(currentIndex());
  });
}

void TDirectoryTree::SetVolume(const QString& mountPoint, const QString& directory) {
  {
    const QScopedValueRollback<bool> quiet(Updating, true);
    FVolume = mountPoint;
    Files->setRootPath(mountPoint);
    Filter->SetVolume(mountPoint);
    const QModelIndex top = Filter->mapFromSource(Files->index(mountPoint));
    setRootIndex(top.parent());
  }
  SetDirectory(IsInside(directory, mountPoint) ? directory : mountPoint);
}

void TDirectoryTree::SetDirectory(const QString& directory) {
  const QString path = QDir::cleanPath(QDir(FVolume).absoluteFilePath(directory));
  const bool changed = path != FDirectory;
  FDirectory = path;
  SelectCurrent();
  if (changed) emit DirectoryChanged();
}

void TDirectoryTree::SetShowHidden(bool show) {
  const QScopedValueRollback<bool> quiet(Updating, true);
  QDir::Filters filter = QDir::AllDirs | QDir::NoDotAndDotDot;
  if (show) filter |= QDir::Hidden;
  Files->setFilter(filter);
  SelectCurrent();
}

// Shows the current directory as the tree's current row, without treating
// that as a choice. A directory the tree does not show (a hidden one while
// hidden ones are left out) stays current all the same.
void TDirectoryTree::SelectCurrent() {
  const QScopedValueRollback<bool> quiet(Updating, true);
  const QModelIndex index = Filter->mapFromSource(Files->index(FDirectory));
  if (!index.isValid()) {
    selectionModel()->clear();
    return;
  }
  for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) expand(above);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

void TDirectoryTree::CurrentChanged(const QModelIndex& current) {
  if (Updating || !current.isValid()) return;
  const QString path = Files->filePath(Filter->mapToSource(current));
  if (path == FDirectory) return;
  FDirectory = path;
  emit DirectoryChanged();
}
