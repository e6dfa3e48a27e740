#include "ResultUnit.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CubicLabel.h"
#include "FormActivation.h"
#include "FormStyle.h"
#include "KorvaneApplication.h"
#include "Locale.h"
#include "TitlePanel.h"

namespace {

constexpr QSize DesignedSize(322, 304);

}  // namespace

TSubtotalValues SubtotalValues(const TVerifyStatus& status, std::string_view timeFormat) {
  using Platform::FormatCount;
  // Summed wide: the same total as the log's line, and no overflow.
  const std::int64_t verified = std::int64_t{status.FilesOk} + status.FilesError + status.FilesSkipped;
  return {
      FormatCount(verified),
      FormatCount(status.TotalBytes),
      Platform::FormatDuration(status.EndTime - status.StartTime, timeFormat, Platform::AmPmTimeFormat()),
      FormatCount(status.FilesOk),
      FormatCount(status.FilesError),
      FormatCount(status.FilesSkipped),
      FormatCount(status.DirsSkipped),
  };
}

TResultForm::TResultForm(TVerifyStatus& verifyStatus, TVerifySetupInfo& setupInfo, QWidget* parent)
    : QDialog(parent),
      FVerifyStatus(verifyStatus),
      FSetupInfo(setupInfo),
      FActivation(this, [this] { HandleEvent([this] { FormActivate(); }); }, {}) {
  setWindowTitle(QStringLiteral("小计"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(MakeFont(QStringLiteral("宋体"), 12));
  setFixedSize(DesignedSize);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 10);
  layout->setSpacing(8);
  const TTitlePanel title = BuildTitlePanel(this, QStringLiteral("小计"), Qt::AlignHCenter);
  TitlePanel = title.Panel;
  CubicLabel1 = title.Label;
  TitlePanel->setFixedHeight(49);
  layout->addWidget(TitlePanel);
  layout->addWidget(BuildPanel(), 1);
  layout->addLayout(BuildButtons());

  ConnectEvent(VerifyLogButton, &QPushButton::clicked, this, &TResultForm::VerifyLogButtonClick);
  ConnectEvent(VerifyMoreButton, &QPushButton::clicked, this, &TResultForm::VerifyMoreButtonClick);
  ConnectEvent(ExitButton, &QPushButton::clicked, this, &TResultForm::ExitButtonClick);
  ConnectEvent(CubicLabel1, &TCubicLabel::Click, this, &TResultForm::CubicLabel1Click);
  ConnectEvent(CubicLabel1, &TCubicLabel::MouseDown, this, &TResultForm::CubicLabel1MouseDown);
  ConnectEvent(CubicLabel1, &TCubicLabel::MouseUp, this, &TResultForm::CubicLabel1MouseUp);
}

QFrame* TResultForm::BuildPanel() {
  Panel = new QFrame(this);
  Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* grid = new QGridLayout(Panel);
  grid->setContentsMargins(24, 10, 24, 10);
  grid->setHorizontalSpacing(12);
  const std::pair<const char*, QLabel**> rows[] = {
      {"已校验文件数:", &TotalFilesLabel}, {"总计读字节数:", &TotalBytesLabel},
      {"总计时间:", &TotalTimeLabel},      {"正确文件数:", &FilesOkLabel},
      {"错误文件数:", &FilesErrorLabel},   {"忽略文件数:", &FilesSkippedLabel},
      {"忽略目录数:", &DirsSkippedLabel},
  };
  int row = 0;
  for (const auto& [caption, value] : rows) {
    grid->addWidget(new QLabel(QString::fromUtf8(caption), Panel), row, 0);
    // Placeholders until the dialog is first activated.
    *value = new QLabel(QStringLiteral("0"), Panel);
    (*value)->setTextFormat(Qt::PlainText);
    grid->addWidget(*value, row++, 1);
  }
  BuildExtraRows(grid, row);
  grid->setColumnStretch(1, 1);
  return Panel;
}

void TResultForm::BuildExtraRows(QGridLayout* grid, int row) {
  const std::pair<QLabel**, QLabel**> rows[] = {
      {&DirsUnsearchableCaption, &DirsUnsearchableLabel},
      {&ItemsMissingCaption, &ItemsMissingLabel},
  };
  for (const auto& [caption, value] : rows) {
    *caption = new QLabel(Panel);
    *value = new QLabel(Panel);
    (*value)->setTextFormat(Qt::PlainText);
    grid->addWidget(*caption, row, 0);
    grid->addWidget(*value, row++, 1);
  }
  KeptLogLabel = new QLabel(Panel);
  KeptLogLabel->setTextFormat(Qt::PlainText);
  KeptLogLabel->setWordWrap(true);
  grid->addWidget(KeptLogLabel, row, 0, 1, 2);
  for (QLabel* label : {DirsUnsearchableCaption, DirsUnsearchableLabel, ItemsMissingCaption,
                        ItemsMissingLabel, KeptLogLabel})
    label->hide();
}

void TResultForm::ShowExtraRows(const TRunEndFacts& facts) {
  const std::vector<TUncheckedRow> rows = UncheckedRows(facts);
  const std::pair<QLabel*, QLabel*> labels[] = {{DirsUnsearchableCaption, DirsUnsearchableLabel},
                                                {ItemsMissingCaption, ItemsMissingLabel}};
  for (std::size_t i = 0; i < std::size(labels); ++i) {
    const bool shown = i < rows.size();
    labels[i].first->setText(shown ? QString::fromStdString(rows[i].Caption) : QString());
    labels[i].second->setText(shown ? QString::fromStdString(rows[i].Value) : QString());
    labels[i].first->setVisible(shown);
    labels[i].second->setVisible(shown);
  }
  const QString failure = KeptLogFailure ? KeptLogFailure() : QString();
  KeptLogLabel->setText(failure.isEmpty() ? QString() : QStringLiteral("校验记录未能保存到磁盘: ") + failure);
  KeptLogLabel->setVisible(!failure.isEmpty());
  // The designed size for the designed rows; each added one makes it taller.
  int extra = static_cast<int>(rows.size()) * (fontMetrics().height() + 8);
  if (!failure.isEmpty())
    extra += KeptLogLabel->heightForWidth(Panel->width() - 48) + 8;
  setFixedSize(DesignedSize.width(), DesignedSize.height() + extra);
}

QLayout* TResultForm::BuildButtons() {
  VerifyLogButton = new QPushButton(QStringLiteral("浏览校验记录(&V)..."), this);
  VerifyMoreButton = new QPushButton(QStringLiteral("继续校验(&M)..."), this);
  ExitButton = new QPushButton(QStringLiteral("退出(&E)"), this);
  ExitButton->setDefault(true);
  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  for (QPushButton* button : {VerifyLogButton, VerifyMoreButton, ExitButton}) {
    button->setMinimumHeight(25);
    row->addWidget(button);
  }
  setTabOrder(VerifyLogButton, VerifyMoreButton);
  setTabOrder(VerifyMoreButton, ExitButton);
  return row;
}

void TResultForm::ShowSubtotal() {
  ExitRequested = true;
  // A focused button takes Enter: the focus starts on the default one.
  ExitButton->setFocus();
  ShowModal(*this);
  if (ExitRequested) {
    QCoreApplication::exit(0);
  } else if (ShowSelection) {
    ShowSelection();
  }
}

void TResultForm::keyPressEvent(QKeyEvent* event) {
  // Esc would close the dialog, and closing it ends the program: the
  // dialog has no cancel button, so Esc does nothing, as designed.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) return;
  QDialog::keyPressEvent(event);
}

void TResultForm::FormActivate() {
  TRunEndFacts facts;
  const TSubtotalValues values = [this, &facts] {
    TMutexLock hold(FVerifyStatus.Mutex);
    facts = RunEndFacts(FVerifyStatus);
    return SubtotalValues(FVerifyStatus, Platform::LongTimeFormat());
  }();
  ShowExtraRows(facts);
  const std::pair<QLabel*, const std::string*> labels[] = {
      {TotalFilesLabel, &values.TotalFiles}, {TotalBytesLabel, &values.TotalBytes},
      {TotalTimeLabel, &values.TotalTime},   {FilesOkLabel, &values.FilesOk},
      {FilesErrorLabel, &values.FilesError}, {FilesSkippedLabel, &values.FilesSkipped},
      {DirsSkippedLabel, &values.DirsSkipped},
  };
  for (const auto& [label, text] : labels) label->setText(QString::fromStdString(*text));
}

void TResultForm::VerifyLogButtonClick() {
  if (ShowLog) ShowLog();
}

void TResultForm::VerifyMoreButtonClick() {
  {
    const TMutexLock lock(FSetupInfo.Mutex);
    FSetupInfo.VerifyList.clear();
  }
  ExitRequested = false;
  close();
}

void TResultForm::ExitButtonClick() {
  ExitRequested = true;
  close();
}

void TResultForm::CubicLabel1Click() {
  if (ShowAbout) ShowAbout();
}

void TResultForm::CubicLabel1MouseDown() { CubicLabel1->SetCubicFace(cfLowered); }

void TResultForm::CubicLabel1MouseUp() { CubicLabel1->SetCubicFace(cfRaised); }
