#pragma once
// The title band of the subtotal dialog and the log viewer: a raised-text
// label on a panel with a sunken inner bevel, in 24-pixel bold Times New
// Roman, navy, with a raised face.
#include <QFrame>

class TCubicLabel;

struct TTitlePanel {
  QFrame* Panel;
  TCubicLabel* Label;
};

TTitlePanel BuildTitlePanel(QWidget* parent, const QString& caption, Qt::Alignment alignment);
