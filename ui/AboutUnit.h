#pragma once
// The about box: the program's name and version, the platforms, the
// copyright notice and the logo; from it the command-line help opens.
#include <functional>

#include <QDialog>

#include "VersionInfo.h"

class QFrame;
class QPushButton;
class TCubicLabel;
class TPictureImage;

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  // The version is read once at start; a test may give another source.
  explicit TAboutForm(const TVersionInfo& version = ProgramVersion(), QWidget* parent = nullptr);

  // Shows the box modally; returns when it has been closed.
  void ShowAbout();

  // Opens the command-line help over the box; the program sets it.
  std::function<void()> ShowCommandLineHelp;

  QFrame* Panel;
  TPictureImage* LogoImage;
  TCubicLabel* CubicLabel1;
  TCubicLabel* VersionLabel;
  TCubicLabel* CubicLabel4;
  TCubicLabel* CubicLabel3;
  QPushButton* Button1;
  QPushButton* CloseButton;

 private:
  void FormCreate(const TVersionInfo& version);
  void CloseButtonClick();
  void Button1Click();
  QFrame* BuildPanel();
  TCubicLabel* AddLabel(QWidget* panel, int pixels, bool italic, bool wrap);
};
