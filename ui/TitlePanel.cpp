#include "TitlePanel.h"

#include <QHBoxLayout>

#include "CubicLabel.h"
#include "FormStyle.h"

TTitlePanel BuildTitlePanel(QWidget* parent, const QString& caption, Qt::Alignment alignment) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(4, 2, 4, 2);
  auto* label = new TCubicLabel(panel);
  label->setText(caption);
  label->setFont(MakeFont(QStringLiteral("Times New Roman"), 24, true));
  label->SetFontColor(clNavy);
  label->SetCubicFace(cfRaised);
  label->setAlignment(alignment | Qt::AlignVCenter);
  row->addWidget(label);
  return {panel, label};
}
