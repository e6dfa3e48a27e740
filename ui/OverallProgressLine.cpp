#include "OverallProgressLine.h"

#include "OverallProgress.h"

TOverallProgressLine::TOverallProgressLine(QWidget* parent, QDBusConnection bus)
    : QLabel(parent), TaskBar(std::move(bus)) {
  // The window's own font and colour, as its other labels; a long line is
  // cut rather than widening the window.
  setMinimumWidth(0);
  setMinimumHeight(fontMetrics().height());
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  Clock.start();
}

void TOverallProgressLine::RunStarted() {
  Clock.restart();
  clear();
}

void TOverallProgressLine::Show(const TStatusSnapshot& shot) {
  const TOverallProgress progress = OverallProgress(shot, static_cast<double>(Clock.elapsed()) / 1000);
  const QString text = QString::fromStdString(OverallText(progress));
  setText(fontMetrics().elidedText(text, Qt::ElideRight, width()));
  setToolTip(text);
  if (progress.Fraction) TaskBar.ShowProgress(*progress.Fraction);
}

void TOverallProgressLine::RunEnded() { TaskBar.HideProgress(); }
