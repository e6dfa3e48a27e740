#include "ViewLogUnit.h"

#include <cmath>

#include <QAction>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include "CubicLabel.h"
#include "FormActivation.h"
#include "FormStyle.h"
#include "KeptLog.h"
#include "KorvaneApplication.h"
#include "LogFile.h"
#include "LogListBox.h"
#include "TitlePanel.h"

namespace {

const QString TextFilter = QStringLiteral("文本文件 (*.txt)");
const QString AllFilter = QStringLiteral("所有文件 (*.*)");

// A long log takes a moment to convert and write.
class TWaitCursor {
 public:
  TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace

TViewLogForm::TViewLogForm(TVerifyStatus& verifyStatus, QWidget* parent)
    : QDialog(parent),
      FVerifyStatus(verifyStatus),
      FActivation(this, [this] { HandleEvent([this] { FormActivate(); }); },
                  [this] { HandleEvent([this] { FormDeactivate(); }); }) {
  SetUpForm(*this, QStringLiteral("浏览校验记录"), MakeFont(QStringLiteral("宋体"), 12),
            QSize(369, 292));
  setSizeGripEnabled(false);

  const TTitlePanel title = BuildTitlePanel(this, QStringLiteral("浏览校验记录"), Qt::AlignLeft);
  TitlePanel = title.Panel;
  CubicLabel1 = title.Label;
  TitlePanel->setGeometry(8, 8, 353, 49);

  // Hints are kept as status tips: there is no status line, so, as
  // designed, they are never shown.
  CloseButton = new QPushButton(QStringLiteral("返回(&C)"), this);
  CloseButton->setStatusTip(QStringLiteral("Close the form."));
  CloseButton->setGeometry(8, 64, 90, 25);
  SaveLogButton = new QPushButton(QStringLiteral("保存记录(&S)..."), this);
  SaveLogButton->setStatusTip(QStringLiteral("Save the log to disk."));
  SaveLogButton->setGeometry(106, 64, 110, 25);
  for (QPushButton* button : {CloseButton, SaveLogButton}) button->setAutoDefault(false);

  ListBox = new TLogListBox(this);
  setTabOrder(CloseButton, SaveLogButton);
  setTabOrder(SaveLogButton, ListBox);
  BuildSaveDialog();
  AskFileName = [this] { return RunSaveDialog(); };
  BuildContextMenu();

  ConnectEvent(CloseButton, &QPushButton::clicked, this, &TViewLogForm::CloseButtonClick);
  ConnectEvent(SaveLogButton, &QPushButton::clicked, this, &TViewLogForm::SaveLogButtonClick);
  ConnectEvent(CubicLabel1, &TCubicLabel::Click, this, &TViewLogForm::CubicLabel1Click);
  ConnectEvent(CubicLabel1, &TCubicLabel::MouseDown, this, &TViewLogForm::CubicLabel1MouseDown);
  ConnectEvent(CubicLabel1, &TCubicLabel::MouseUp, this, &TViewLogForm::CubicLabel1MouseUp);
  FormResize();
}

void TViewLogForm::BuildSaveDialog() {
  SaveDialog = new QFileDialog(this, QStringLiteral("保存校验记录"));
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog->setFileMode(QFileDialog::AnyFile);
  SaveDialog->setNameFilters({TextFilter, AllFilter});
  SaveDialog->selectNameFilter(TextFilter);
  SaveDialog->setDefaultSuffix(QStringLiteral("txt"));
  // Never the program's own folder, where a user would not look for it.
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  SaveDialog->setDirectory(QDir(documents).exists() ? documents : QDir::homePath());
  SaveDialog->selectFile(DefaultLogName(0));
  // ".txt" is added to a bare name only while text files are chosen: under
  // "All file" the name is taken as typed.
  connect(SaveDialog, &QFileDialog::filterSelected, SaveDialog, [this](const QString& filter) {
    SaveDialog->setDefaultSuffix(filter == TextFilter ? QStringLiteral("txt") : QString());
  });
}

QString TViewLogForm::RunSaveDialog() {
  if (ShowModal(*SaveDialog, TPlacement::AsItIs) != QDialog::Accepted) return {};
  const QStringList files = SaveDialog->selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

QString DefaultLogName(double startTime) {
  if (startTime == 0) return QStringLiteral("qlx");
  // The day count is local wall time already: counted from a zone with no
  // offsets, so that neither 1899's offset nor summer time moves it.
  const QDateTime started = QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC)
                                .addMSecs(std::llround(startTime * 86400000.0));
  return QStringLiteral("校验记录_") + started.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

void TViewLogForm::ShowLog() {
  {
    TMutexLock hold(FVerifyStatus.Mutex);
    SaveDialog->selectFile(DefaultLogName(FVerifyStatus.StartTime));
  }
  ShowModal(*this);
}

void TViewLogForm::BuildContextMenu() {
  OpenFolderAction = new QAction(QStringLiteral("打开记录文件夹"), ListBox);
  ListBox->addAction(OpenFolderAction);
  ListBox->setContextMenuPolicy(Qt::ActionsContextMenu);
  OpenLogFolder = [] {
    const QString folder = KeptLogFolder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
  };
  ConnectEvent(OpenFolderAction, &QAction::triggered, this, &TViewLogForm::OpenFolderActionClick);
}

void TViewLogForm::OpenFolderActionClick() {
  if (OpenLogFolder) OpenLogFolder();
}

void TViewLogForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  HandleEvent([this] { FormResize(); });
}

void TViewLogForm::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~Qt::KeypadModifier) return QDialog::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_Escape:
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void TViewLogForm::FormActivate() {
  // Back from a box or the save dialog over it: the same log, and the list
  // keeps its selected line and its scroll position.
  if (ListBox->Model()->Lines() != &FVerifyStatus.Log) ListBox->SetLines(&FVerifyStatus.Log);
}

void TViewLogForm::FormDeactivate() {
  // A window over the viewer leaves the list painted; only hiding lets go.
  if (!isVisible()) ListBox->SetLines(nullptr);
}

void TViewLogForm::FormResize() {
  ListBox->setGeometry(0, ViewLogBandHeight, width(), std::max(0, height() - ViewLogBandHeight));
}

void TViewLogForm::SaveLogButtonClick() {
  const QString fileName = AskFileName();
  if (fileName.isEmpty()) return;
  try {
    const TWaitCursor waiting;
    TMutexLock hold(FVerifyStatus.Mutex);
    SaveLogFile(FVerifyStatus.Log, QFile::encodeName(fileName).toStdString());
    // The next save starts where this one went.
    SaveDialog->setDirectory(QFileInfo(fileName).absolutePath());
  } catch (const ELogFileError& error) {
    // The designed text, and on a line of its own why it failed.
    ShowApplicationException(error, error.Reason());
  }
}

void TViewLogForm::CloseButtonClick() { close(); }

void TViewLogForm::CubicLabel1Click() {
  if (ShowAbout) ShowAbout();
}

void TViewLogForm::CubicLabel1MouseDown() { CubicLabel1->SetCubicFace(cfLowered); }

void TViewLogForm::CubicLabel1MouseUp() { CubicLabel1->SetCubicFace(cfRaised); }
