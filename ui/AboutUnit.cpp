#include "AboutUnit.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "CubicLabel.h"
#include "FormActivation.h"
#include "KorvaneApplication.h"
#include "ResourceUnit.h"
#include "FormStyle.h"

TAboutForm::TAboutForm(const TVersionInfo& version, QWidget* parent) : QDialog(parent) {
  SetUpForm(*this, QStringLiteral("关于"), MakeFont(QStringLiteral("MS Sans Serif"), 11),
            QSize(540, 406));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 10);
  layout->setSpacing(10);
  layout->addWidget(BuildPanel(), 1);

  Button1 = new QPushButton(QStringLiteral("关于本程序的命令行用法(&U)"), this);
  Button1->setFont(MakeFont(QStringLiteral("宋体"), 16, true));
  Button1->setMinimumSize(300, 32);
  CloseButton = new QPushButton(QStringLiteral("关闭(&C)"), this);
  CloseButton->setFont(MakeFont(QStringLiteral("Times New Roman"), 16, true));
  CloseButton->setMinimumSize(110, 32);
  QPalette closePalette = CloseButton->palette();
  closePalette.setColor(QPalette::ButtonText, Qt::black);
  CloseButton->setPalette(closePalette);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button1);
  buttons->addStretch(1);
  buttons->addWidget(CloseButton);
  layout->addLayout(buttons);

  ConnectEvent(Button1, &QPushButton::clicked, this, &TAboutForm::Button1Click);
  ConnectEvent(CloseButton, &QPushButton::clicked, this, &TAboutForm::CloseButtonClick);
  FormCreate(version);
}

QFrame* TAboutForm::BuildPanel() {
  Panel = new QFrame(this);
  Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* row = new QHBoxLayout(Panel);
  row->setContentsMargins(8, 8, 8, 8);
  row->setSpacing(8);
  LogoImage = new TPictureImage(QString::fromLatin1(LogoResource), Panel);
  LogoImage->setFixedSize(265, 289);
  row->addWidget(LogoImage, 0, Qt::AlignVCenter);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  row->addLayout(texts, 1);
  texts->addStretch(1);
  CubicLabel1 = AddLabel(Panel, 56, false, false);
  CubicLabel1->setText(QStringLiteral("Korvane"));
  VersionLabel = AddLabel(Panel, 24, false, false);
  CubicLabel4 = AddLabel(Panel, 19, true, true);
  CubicLabel4->setText(QStringLiteral("专用于Windows 95 && Windows NT 4.0"));
  CubicLabel3 = AddLabel(Panel, 16, true, true);
  CubicLabel3->SetCubicFace(cfLowered);
  CubicLabel3->setText(QString::fromUtf8(CopyrightNotice.data(),
                                         static_cast<qsizetype>(CopyrightNotice.size())));
  for (TCubicLabel* label : {CubicLabel1, VersionLabel, CubicLabel4, CubicLabel3})
    texts->addWidget(label);
  texts->addStretch(1);
  return Panel;
}

TCubicLabel* TAboutForm::AddLabel(QWidget* panel, int pixels, bool italic, bool wrap) {
  auto* label = new TCubicLabel(panel);
  label->SetCubicShadow(true);
  label->SetShadowDepth(3);
  label->SetShadowOnly(true);
  label->SetShadowColor(clGray);
  label->SetHollowFace(true);
  label->SetHollowColor(clSilver);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  label->setWordWrap(wrap);
  const QFont font = MakeFont(QStringLiteral("Times New Roman"), pixels, true, italic);
  label->setFont(font);
  label->SetFontColor(clBlue);
  // Room for the text with its 3-pixel shadow and halo, which the centred
  // layout splits above and below: two lines where the label wraps.
  const int lines = wrap ? 2 : 1;
  label->setFixedHeight(lines * QFontMetrics(font).height() + 14);
  return label;
}

void TAboutForm::FormCreate(const TVersionInfo& version) {
  VersionLabel->setText(QString::fromStdString(GetFullVersion(version)) + QStringLiteral("版"));
}

void TAboutForm::ShowAbout() { ShowModal(*this); }

void TAboutForm::CloseButtonClick() { close(); }

void TAboutForm::Button1Click() {
  if (ShowCommandLineHelp) ShowCommandLineHelp();
}
