#include "CmdLineHelpUnit.h"

#include <algorithm>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CommandLine.h"
#include "CubicLabel.h"
#include "FormActivation.h"
#include "KorvaneApplication.h"
#include "FormStyle.h"

namespace {

constexpr int LinePitch = 16;
constexpr int TextLeft = 10;
constexpr int TextTop = 8;
constexpr int SwitchIndent = 16;
constexpr int ColumnGap = 16;
// The last switch line is long; its meaning starts after it instead of in
// the common right column.
constexpr int LongSwitchLine = 7;

QLabel* PlaceLine(QWidget* panel, const char* text, int x, int line) {
  auto* label = new QLabel(QString::fromUtf8(text), panel);
  label->setTextFormat(Qt::PlainText);
  const QSize size = label->sizeHint();
  label->setGeometry(x, TextTop + line * LinePitch, size.width(), LinePitch);
  return label;
}

}  // namespace

THelpDialog::THelpDialog(QWidget* parent) : QDialog(parent) {
  SetUpForm(*this, QStringLiteral("关于Korvane的命令行"), MakeFont(QStringLiteral("宋体"), 12),
            QSize(559, 363));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 10);
  layout->setSpacing(8);
  layout->addWidget(BuildTitlePanel());
  layout->addWidget(BuildTextPanel(), 1);

  Button1 = new QPushButton(QStringLiteral("关闭(&C)"), this);
  Button1->setMinimumSize(90, 28);
  Button1->setDefault(true);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  ConnectEvent(Button1, &QPushButton::clicked, this, &THelpDialog::Button1Click);
}

QFrame* THelpDialog::BuildTitlePanel() {
  TitlePanel = new QFrame(this);
  TitlePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* row = new QHBoxLayout(TitlePanel);
  row->setContentsMargins(10, 6, 10, 4);
  CubicLabel1 = new TCubicLabel(TitlePanel);
  CubicLabel1->setText(QStringLiteral("关于Korvane的命令行"));
  CubicLabel1->SetCubicFace(cfRaised);
  CubicLabel1->SetShadowDepth(1);
  const QFont titleFont = MakeFont(QStringLiteral("宋体"), 29, true);
  CubicLabel1->setFont(titleFont);
  CubicLabel1->SetFontColor(clNavy);
  CubicLabel1->setFixedHeight(QFontMetrics(titleFont).height() + 4);
  row->addWidget(CubicLabel1);
  return TitlePanel;
}

QFrame* THelpDialog::BuildTextPanel() {
  TextPanel = new QFrame(this);
  TextPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  const QFontMetrics metrics(font());
  int rightColumn = 0;
  for (int line = 0; line < CommandLineHelpLineCount; ++line)
    if (CommandLineHelpLines[line].Right && line != LongSwitchLine)
      rightColumn = std::max(rightColumn, metrics.horizontalAdvance(CommandLineHelpLines[line].Left));
  rightColumn += TextLeft + SwitchIndent + ColumnGap;

  int right = 0;
  for (int line = 0; line < CommandLineHelpLineCount; ++line) {
    const TCommandLineHelpLine& help = CommandLineHelpLines[line];
    const int x = help.Right ? TextLeft + SwitchIndent : TextLeft;
    QLabel* left = PlaceLine(TextPanel, help.Left, x, line);
    right = std::max(right, left->geometry().right());
    if (!help.Right) continue;
    const int column = line == LongSwitchLine ? left->geometry().right() + ColumnGap : rightColumn;
    right = std::max(right, PlaceLine(TextPanel, help.Right, column, line)->geometry().right());
  }
  TextPanel->setMinimumSize(right + TextLeft, TextTop * 2 + 9 * LinePitch);
  return TextPanel;
}

void THelpDialog::ShowCommandLineHelp() { ShowModal(*this); }

void THelpDialog::Button1Click() { close(); }
