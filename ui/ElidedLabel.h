#pragma once
// A one-line label for paths: a text too long for it loses its middle
// ("/media/usb/…/报告.dat"), so that the file name at the end stays in
// view. text() is always the whole text; the tooltip shows it when cut.
#include <QLabel>

class TElidedLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

  // What the label shows now, at its present width.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
