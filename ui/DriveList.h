#pragma once
// The drive list of the selection dialog: the mounted volumes that hold
// directories a user can browse, "/" always among them.
#include <QComboBox>
#include <QString>
#include <QStringList>

// Mount points of the browsable volumes, "/" first, the others sorted.
QStringList BrowsableVolumes();

// Mount point of the browsable volume that holds path ("/" when none does).
QString VolumeOf(const QString& path);

class TDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);

  // Lists the volumes mounted now; the chosen one stays chosen.
  void Refresh();
  QString Volume() const { return currentText(); }
  void SetVolume(const QString& mountPoint);

  // A volume mounted while the program runs shows the next time the list opens.
  void showPopup() override;
};
