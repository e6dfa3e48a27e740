#pragma once
// The parts of the progress window: the title band, the panel of the file
// being read, the panel of counts, and the row of buttons. Each part fills
// in the controls it makes, which the window holds under the names the
// window is designed with; the two panels copy a status snapshot into their
// labels, rewriting only what changed.
#include <QFrame>

#include "VerifyStatus.h"

class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class TCubicLabel;
class TSearchAnimation;

// The panels take the window's width; below this the labels get too short.
inline constexpr int MinimumPanelWidth = 440;

struct THeaderControls {
  TSearchAnimation* Animate;
  TCubicLabel* TitleLabel;
  TCubicLabel* CubicLabel2;
};

struct TFilePanelControls {
  QLabel* CurrentDirectoryLabel;
  QLabel* CurrentFileLabel;
  QLabel* FileSizeLabel;
  QProgressBar* ProgressBar;
};

struct TCountPanelControls {
  QLabel* FilesOkLabel;
  QLabel* TotalSizeLabel;
  QLabel* FilesErrorLabel;
  QLabel* LastOkFileLabel;
  QLabel* LastErrorFileLabel;
  QLabel* LastErrorMessageLabel;
};

struct TButtonControls {
  QPushButton* SkipDirButton;
  QPushButton* SkipButton;
  QPushButton* PauseButton;
  QPushButton* StopButton;
};

class TProgressHeader : public QFrame {
  Q_OBJECT

 public:
  TProgressHeader(QWidget* parent, THeaderControls& controls);
};

// A sunken panel as wide as the window, with a grid of caption and value.
class TStatusPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TStatusPanel(QWidget* parent);

 protected:
  // A fixed row's value is a path: shown with its middle left out when long.
  QLabel* AddRow(const char* caption, bool fixed);
  QGridLayout* Grid;
};

class TFilePanel : public TStatusPanel {
  Q_OBJECT

 public:
  TFilePanel(QWidget* parent, TFilePanelControls& controls);
  void Clear();
  // was: what the labels show now, or nullptr to rewrite them all.
  void Show(const TStatusSnapshot& shot, const TStatusSnapshot* was);

 private:
  TFilePanelControls& C;
};

class TCountPanel : public TStatusPanel {
  Q_OBJECT

 public:
  TCountPanel(QWidget* parent, TCountPanelControls& controls);
  void Clear();
  void Show(const TStatusSnapshot& shot, const TStatusSnapshot* was);

 private:
  TCountPanelControls& C;
};

class TProgressButtons : public QWidget {
  Q_OBJECT

 public:
  TProgressButtons(QWidget* parent, TButtonControls& controls);
};
