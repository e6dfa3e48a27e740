#pragma once
// The command-line help: the syntax the command-line parser accepts, as
// fixed text. Switches are shown with "-", the only form POSIX allows.
#include <QDialog>

class QFrame;
class QPushButton;
class TCubicLabel;

class THelpDialog : public QDialog {
  Q_OBJECT

 public:
  explicit THelpDialog(QWidget* parent = nullptr);

  // Shows the help modally; returns when it has been closed.
  void ShowCommandLineHelp();

  QFrame* TitlePanel;
  TCubicLabel* CubicLabel1;
  QFrame* TextPanel;
  QPushButton* Button1;

 private:
  void Button1Click();
  QFrame* BuildTitlePanel();
  QFrame* BuildTextPanel();
};
