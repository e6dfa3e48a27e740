#pragma once
// The subtotal dialog that closes every run: the run's totals and time, and
// the three ways on (view the log, verify more, exit). What follows its
// closing is decided in ShowSubtotal, so the program calls only that.
#include <functional>
#include <string>
#include <string_view>

#include <QDialog>

#include "FormActivation.h"
#include "RunEnd.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"

class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class TCubicLabel;

// The seven values in the order of the dialog's rows: counts grouped in
// threes by the locale's separator, the run time as a span in the form of
// timeFormat (strftime form, the locale's time of day), as the log's time line.
struct TSubtotalValues {
  std::string TotalFiles, TotalBytes, TotalTime, FilesOk, FilesError, FilesSkipped, DirsSkipped;
};
TSubtotalValues SubtotalValues(const TVerifyStatus& status, std::string_view timeFormat)
    REQUIRES(status.Mutex);

class TResultForm : public QDialog {
  Q_OBJECT

 public:
  TResultForm(TVerifyStatus& verifyStatus, TVerifySetupInfo& setupInfo, QWidget* parent = nullptr);

  // Shows the dialog modally, then ends the program or, after verify more,
  // opens the selection; returns once that has closed.
  void ShowSubtotal();

  // Read once, when the dialog has closed: end the program (true) or open
  // the selection for another run (false).
  bool ExitRequested = true;
  // The windows it opens; the program sets them.
  std::function<void()> ShowSelection;
  std::function<void()> ShowLog;
  std::function<void()> ShowAbout;
  // Why the run's kept log is not wholly on the disk; empty when it is.
  std::function<QString()> KeptLogFailure;

  QFrame* TitlePanel;
  TCubicLabel* CubicLabel1;
  QFrame* Panel;
  QLabel* TotalFilesLabel;
  QLabel* TotalBytesLabel;
  QLabel* TotalTimeLabel;
  QLabel* FilesOkLabel;
  QLabel* FilesErrorLabel;
  QLabel* FilesSkippedLabel;
  QLabel* DirsSkippedLabel;
  // Not among the designed rows, and shown only when they have something to
  // say: what the run could not check, and a kept log that failed.
  QLabel* DirsUnsearchableCaption;
  QLabel* DirsUnsearchableLabel;
  QLabel* ItemsMissingCaption;
  QLabel* ItemsMissingLabel;
  QLabel* KeptLogLabel;
  QPushButton* VerifyLogButton;
  QPushButton* VerifyMoreButton;
  QPushButton* ExitButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormActivate();
  void VerifyLogButtonClick();
  void VerifyMoreButtonClick();
  void ExitButtonClick();
  void CubicLabel1Click();
  void CubicLabel1MouseDown();
  void CubicLabel1MouseUp();
  QFrame* BuildPanel();
  QLayout* BuildButtons();
  void BuildExtraRows(QGridLayout* grid, int row);
  void ShowExtraRows(const TRunEndFacts& facts);

  TVerifyStatus& FVerifyStatus;
  TVerifySetupInfo& FSetupInfo;
  TFormActivation FActivation;
};
