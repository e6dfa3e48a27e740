#pragma once
// The progress window's entry in the notification area while the window is
// hidden there.
//
// Two things make this more than a QSystemTrayIcon. Removing the icon
// deletes the little window that received the click, so a click is handed
// on only once the icon's own event is over (removing it inside would
// delete the object whose event is being delivered). And while a modal
// window of this program is open, Qt drops every press on any other window
// as blocked, the icon's too; the entry makes the icon's window a transient
// of the topmost modal window, which Qt never blocks, so that the user can
// always get the program back.
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class TTrayEntry : public QObject {
  Q_OBJECT

 public:
  explicit TTrayEntry(QObject* parent = nullptr);

  // Shows the entry; false where the desktop has no notification area.
  bool Add(const QString& iconName, const QString& tip);
  // Takes the entry away; the icon goes once no mouse button is held.
  void Remove();
  bool Added() const { return FAdded; }
  // Rewrites the icon and the tip, each only when it changed.
  void Update(const QString& iconName, const QString& tip);

  QSystemTrayIcon* Icon;
  QString IconName;  // the resource name of the icon shown

  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // A press on the icon, delivered after the icon's own event.
  void Clicked(QSystemTrayIcon::ActivationReason reason);

 private:
  void FollowModalWindow();
  void HideWhenReleased();

  bool FAdded = false;
};
