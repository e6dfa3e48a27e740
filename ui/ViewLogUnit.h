#pragma once
// The log viewer: the verification log of the last run, and saving it as a
// text file. Opened only from the subtotal dialog, after the run is over,
// so the log is read without the status lock.
#include <functional>

#include <QDialog>
#include <QString>

#include "FormActivation.h"
#include "VerifyStatus.h"

class QAction;
class QFileDialog;
class QFrame;
class QPushButton;
class TCubicLabel;
class TLogListBox;

class TViewLogForm : public QDialog {
  Q_OBJECT

 public:
  explicit TViewLogForm(TVerifyStatus& verifyStatus, QWidget* parent = nullptr);

  // Shows the viewer modally; returns when it has been closed.
  void ShowLog();

  QFrame* TitlePanel;
  TCubicLabel* CubicLabel1;
  QPushButton* CloseButton;
  QPushButton* SaveLogButton;
  TLogListBox* ListBox;
  QFileDialog* SaveDialog;

  // Asks for the file to save to; an empty name means cancelled. Runs
  // SaveDialog unless a test answers in its place.
  std::function<QString()> AskFileName;
  // Opens the about box; the program sets it.
  std::function<void()> ShowAbout;
  // The list's context menu: the folder the runs' logs are kept in, opened
  // through the desktop (a test answers in its place).
  QAction* OpenFolderAction;
  std::function<void()> OpenLogFolder;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Escape does nothing: the viewer has no cancel button. Enter presses
  // the focused button, as everywhere else in the program.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormActivate();
  void FormDeactivate();
  void FormResize();
  void SaveLogButtonClick();
  void CloseButtonClick();
  void CubicLabel1Click();
  void OpenFolderActionClick();
  void CubicLabel1MouseDown();
  void CubicLabel1MouseUp();
  void BuildSaveDialog();
  void BuildContextMenu();
  QString RunSaveDialog();

  TVerifyStatus& FVerifyStatus;
  TFormActivation FActivation;
};

// The save dialog's first name: from the run's start time (a day count),
// "qlx" before any run.
QString DefaultLogName(double startTime);

// The band above the list: the title panel and the buttons.
inline constexpr int ViewLogBandHeight = 96;
