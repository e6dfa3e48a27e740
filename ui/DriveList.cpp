#include "DriveList.h"

#include <algorithm>

#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

namespace {

// Kernel interfaces mounted as file systems: no user files live there.
bool IsPseudoFileSystem(const QByteArray& type) {
  static const QSet<QByteArray> pseudo = {
      "proc",    "sysfs",   "cgroup",   "cgroup2",     "devpts",     "devtmpfs",  "securityfs",
      "debugfs", "tracefs", "pstore",   "bpf",         "mqueue",     "hugetlbfs", "configfs",
      "fusectl", "autofs",  "efivarfs", "binfmt_misc", "rpc_pipefs", "nsfs",      "selinuxfs"};
  return pseudo.contains(type);
}

bool IsBrowsable(const QStorageInfo& volume) {
  return volume.isValid() && volume.isReady() && !IsPseudoFileSystem(volume.fileSystemType()) &&
         QFileInfo(volume.rootPath()).isDir();
}

}  // namespace

QStringList BrowsableVolumes() {
  QStringList volumes;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.rootPath() != QLatin1String("/") && IsBrowsable(volume))
      volumes << volume.rootPath();
  volumes.sort();
  volumes.removeDuplicates();
  volumes.prepend(QStringLiteral("/"));
  return volumes;
}

QString VolumeOf(const QString& path) {
  const QStorageInfo volume(path);
  return IsBrowsable(volume) ? volume.rootPath() : QStringLiteral("/");
}

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) { Refresh(); }

void TDriveComboBox::Refresh() {
  const QString chosen = Volume();
  QStringList volumes = BrowsableVolumes();
  // One taken away meanwhile stays until another is chosen, so that the
  // list never contradicts the directory tree beside it.
  if (!chosen.isEmpty() && !volumes.contains(chosen)) volumes << chosen;
  const QSignalBlocker quiet(this);
  clear();
  addItems(volumes);
  setCurrentIndex(std::max(0, findText(chosen)));
}

void TDriveComboBox::SetVolume(const QString& mountPoint) {
  if (findText(mountPoint) < 0) addItem(mountPoint);
  setCurrentIndex(findText(mountPoint));
}

void TDriveComboBox::showPopup() {
  Refresh();
  QComboBox::showPopup();
}
