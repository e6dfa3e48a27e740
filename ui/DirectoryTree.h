#pragma once
// The directory tree of the selection dialog: the directories of one
// volume, from its mount point down. Its current directory is always an
// absolute path.
#include <QString>
#include <QTreeView>

class QFileSystemModel;
class TVolumeFilter;

class TDirectoryTree : public QTreeView {
  Q_OBJECT

 public:
  explicit TDirectoryTree(QWidget* parent = nullptr);

  // Shows the tree of the volume mounted at mountPoint and makes directory
  // current (the mount point when directory lies outside the volume).
  void SetVolume(const QString& mountPoint, const QString& directory);
  void SetDirectory(const QString& directory);
  const QString& Directory() const { return FDirectory; }
  // Hidden (dot) directories show only when hidden files are searched too.
  void SetShowHidden(bool show);

 signals:
  // The user or the program chose another directory.
  void DirectoryChanged();

 private:
  void CurrentChanged(const QModelIndex& current);
  void SelectCurrent();

  QFileSystemModel* Files;
  TVolumeFilter* Filter;
  QString FVolume;
  QString FDirectory;
  bool Updating = false;
};
