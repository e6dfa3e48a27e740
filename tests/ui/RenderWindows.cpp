// Renders every window built so far, and the pictures they use, to PNG
// files, so that a change can be looked at as a person would see it.
//   korvane_render_windows <folder>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "AboutUnit.h"
#include "CmdLineHelpUnit.h"
#include "ChosenList.h"
#include "CubicLabel.h"
#include "DirectoryTree.h"
#include "FileList.h"
#include "KorvaneApplication.h"
#include "MainFormUnit.h"
#include "KorvaneProgram.h"
#include "LogListBox.h"
#include "MessageBoxes.h"
#include "ResourceUnit.h"
#include "ResultUnit.h"
#include "RunEnd.h"
#include "SearchAnimation.h"
#include "TestFs.h"
#include "UserSteps.h"
#include "SelectDialogUnit.h"
#include "VerifierUnit.h"
#include "ViewLogUnit.h"

namespace {

bool Save(const QPixmap& picture, const QDir& folder, const char* name) {
  const QString path = folder.filePath(QString::fromLatin1(name));
  const bool saved = picture.save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// Every combination of effects the windows use, and a few more, on a panel.
QPixmap LabelGallery() {
  QWidget panel;
  panel.resize(620, 330);
  struct TSample {
    const char* Text;
    void (*Setup)(TCubicLabel&);
  };
  const TSample samples[] = {
      {"Korvane3.1版 (raised)", [](TCubicLabel& l) { l.SetCubicFace(cfRaised); }},
      {"Korvane3.1版 (pressed)", [](TCubicLabel& l) { l.SetCubicFace(cfLowered); }},
      {"Shadow, cubic, halo", [](TCubicLabel& l) {
         l.SetShadowOnly(true); l.SetShadowDepth(3); l.SetCubicShadow(true); l.SetHollowFace(true);
         l.SetFontColor(clBlue);
       }},
      {"Raised with halo", [](TCubicLabel& l) { l.SetCubicFace(cfRaised); l.SetHollowFace(true); }},
      {"Disabled && engraved", [](TCubicLabel& l) { l.SetCubicFace(cfRaised); l.setEnabled(false); }},
  };
  int y = 6;
  for (const TSample& sample : samples) {
    auto* label = new TCubicLabel(&panel);
    label->setText(QString::fromUtf8(sample.Text));
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(40);
    font.setBold(true);
    label->setFont(font);
    label->SetFontColor(clNavy);
    label->setGeometry(10, y, 600, 58);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sample.Setup(*label);
    y += 64;
  }
  return panel.grab();
}

QPixmap IconSheet() {
  QPixmap sheet(3 * 4 * 32 + 40, 2 * 4 * 32 + 30);
  sheet.fill(QColor(0xd4, 0xd0, 0xc8));
  QPainter painter(&sheet);
  int row = 0;
  for (const char* name : {"MAINICON", "PAUSEICON"}) {
    const QIcon icon = LoadIconResource(QString::fromLatin1(name));
    int x = 10;
    for (int size : {16, 22, 32}) {
      // Each size enlarged 4 times without smoothing, so its pixels show.
      const QPixmap pixels = icon.pixmap(size, size);
      painter.drawPixmap(QRect(x, 10 + row * 138, size * 4, size * 4), pixels);
      x += size * 4 + 10;
    }
    ++row;
  }
  return sheet;
}

QPixmap AnimationStrip() {
  // Every frame at twice its usual size, in playing order.
  const int columns = 6;
  QPixmap strip(columns * 164, 4 * 104);
  strip.fill(QColor(0xd4, 0xd0, 0xc8));
  QPainter painter(&strip);
  for (int frame = 0; frame < TSearchAnimation::FrameCount; ++frame)
    TSearchAnimation::DrawFrame(
        painter, QRectF(frame % columns * 164 + 2, frame / columns * 104 + 2, 160, 100), frame);
  return strip;
}

// A message box as it opens, grabbed from inside its own loop.
QPixmap MessageBoxPicture(const std::function<void()>& show) {
  QPixmap picture;
  QTimer::singleShot(100, [&picture] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      picture = box->grab();
      box->close();
    }
  });
  show();
  return picture;
}

// A modal window over the progress window, both centred, as on a screen.
QPixmap Over(QWidget* back, QWidget* top) {
  const QPixmap under = back->grab();
  const QPixmap over = top->grab();
  QPixmap picture(under.size().expandedTo(over.size()));
  picture.fill(Qt::black);
  QPainter canvas(&picture);
  const QPoint middle = picture.rect().center();
  canvas.drawPixmap(middle - under.rect().center(), under);
  canvas.drawPixmap(middle - over.rect().center(), over);
  return picture;
}

// The whole program as a user meets it: the selection holding the command
// line's item, the progress window part way through a slow file and
// paused there, "校验完成.", the subtotal and the log viewer.
bool SequencePictures(const QDir& folder) {
  TTestFs fs({{.Path = "数据/损坏的文件.dat", .Size = 8192, .ErrorAt = 4096},
              {.Path = "数据/子目录/年度报告.dat", .Size = 1 << 20, .DelayMs = 4}});
  if (!fs.Mounted()) return true;
  TTempDir settings;
  TKorvaneProgram program({{"-P4096", fs.PathOf("数据/*.*")}, settings.PathOf("KORVANE.INI"), ShowMessage});
  bool ok = true;
  auto save = [&](const QPixmap& picture, const char* name) { ok &= Save(picture, folder, name); };
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (program.MainForm()->ProgressBar->value() * 3 < program.MainForm()->ProgressBar->maximum()) return;
    watch.stop();
    save(program.MainForm()->grab(), "sequence-2-progress.png");
    program.MainForm()->PauseVerify();
    save(program.MainForm()->grab(), "sequence-2-paused.png");
    program.MainForm()->ResumeVerify();
  });
  TUser user;
  user.Then(&TKorvaneProgram::SelectDialog, [&](TSelectDialog& top) {
    save(Over(program.MainForm(), &top), "sequence-1-selection.png");
    top.OkButton->click();
    watch.start(5);
  });
  user.Then([] { return QApplication::activeModalWidget(); }, [&](QWidget* top) {
    save(Over(program.MainForm(), top), "sequence-3-done.png");
    static_cast<QMessageBox*>(top)->button(QMessageBox::Ok)->click();
  });
  user.Then(&TKorvaneProgram::ResultForm, [&](TResultForm& top) {
    save(Over(program.MainForm(), &top), "sequence-4-subtotal.png");
    top.VerifyLogButton->click();
  });
  user.Then(&TKorvaneProgram::ViewLogForm, [&](TViewLogForm& top) {
    save(Over(program.MainForm(), &top), "sequence-5-log.png");
    top.CloseButton->click();
  });
  user.Then(&TKorvaneProgram::ResultForm, [](TResultForm& subtotal) { subtotal.ExitButton->click(); });
  return user.Run(program) == 0 && ok;
}

// The selection dialog over a small folder, with a few items chosen.
QPixmap SelectDialogPicture() {
  QTemporaryDir folder;
  for (const char* name : {"报告.doc", "data.bin", "notes.txt", "README", "scan-0001.tif", ".hidden"}) {
    QFile file(folder.filePath(QString::fromUtf8(name)));
    if (!file.open(QIODevice::WriteOnly)) return {};
  }
  TVerifySetupInfo setup(folder.filePath(QStringLiteral("KORVANE.INI")).toStdString());
  TSelectDialog dialog(setup);
  for (const char* item : {"/home/user/Documents/*.*", "/media/usb/photos/*.jpg", "/etc/fstab"})
    dialog.AddItem(item);
  QEventLoop listed;
  QObject::connect(dialog.FileList, &TFileListModel::Listed, &listed, &QEventLoop::quit);
  QTimer::singleShot(5000, &listed, &QEventLoop::quit);
  dialog.DirListBox->SetDirectory(folder.path());
  listed.exec();
  dialog.show();
  // The tree sorts and scrolls once its directories have loaded.
  QTimer::singleShot(500, &listed, &QEventLoop::quit);
  listed.exec();
  dialog.FileListBox->setCurrentIndex(dialog.FileList->index(2));
  return dialog.grab();
}

// A real run over a small tree in which one entry cannot be opened (a
// link to nothing), so that its log has an error list.
void RunSampleVerification(TVerifyStatus& status) {
  QTemporaryDir dir;
  for (const char* name : {"报告.txt", "notes.txt", "data/a.bin", "data/b.bin", "data/图片/c.png",
                           "data/图片/d.png", "old/archive.zip"}) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(4096 + path.size() * 97, 'x'));
  }
  QFile::link(dir.filePath(QStringLiteral("gone.bin")), dir.filePath(QStringLiteral("data/missing.bin")));
  TVerifySetupInfo setup(dir.filePath(QStringLiteral("KORVANE.INI")).toStdString());
  setup.VerifyList = {QFile::encodeName(dir.path()).toStdString() + "/*.*"};
  status.Reset();
  TVerifier verifier(status, setup);
  verifier.WaitFor();
}

// The viewer over that log, scrolled to its error list.
QPixmap ViewLogPicture(TVerifyStatus& status) {
  TViewLogForm viewer(status);
  viewer.resize(560, 420);
  viewer.show();
  viewer.ListBox->scrollToBottom();
  QApplication::processEvents();
  return viewer.grab();
}

QPixmap SubtotalPicture(TVerifyStatus& status) {
  TVerifySetupInfo setup(QDir::temp().filePath(QStringLiteral("korvane-render.ini")).toStdString());
  TResultForm subtotal(status, setup);
  subtotal.show();
  QApplication::processEvents();
  return subtotal.grab();
}

// A run that could not reach everything (a directory that is not there, a
// file name that names nothing), whose kept log could not be written.
QPixmap UncheckedSubtotalPicture() {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("报告.txt")));
  if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(5000, 'x')) != 5000) return {};
  file.close();
  const std::string root = QFile::encodeName(dir.path()).toStdString();
  TVerifySetupInfo setup(root + "/KORVANE.INI");
  setup.VerifyList = {root + "/*.*", root + "/旧目录/*.*", root + "/缺少的文件.txt"};
  TVerifyStatus status;
  TVerifier(status, setup).WaitFor();
  TResultForm subtotal(status, setup);
  subtotal.KeptLogFailure = [] {
    return QStringLiteral("/home/user/.local/state/korvane/logs/2026-12-08_01-20-00.txt: 设备上没有空间");
  };
  subtotal.show();
  QApplication::processEvents();
  return subtotal.grab();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TKorvaneApplication app(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
  if (!QDir().mkpath(folder.path())) return 1;

  TAboutForm about;
  THelpDialog help;
  about.show();
  help.show();
  bool ok = Save(about.grab(), folder, "about.png");
  // The labels' shadows and halos are a pixel or two wide: enlarged 3 times.
  const QRect texts = about.CubicLabel1->geometry().united(about.CubicLabel3->geometry());
  ok &= Save(about.Panel->grab(texts).scaled(texts.size() * 3), folder, "about-texts-x3.png");
  const QRect title = help.CubicLabel1->geometry();
  ok &= Save(help.TitlePanel->grab(title).scaled(title.size() * 3), folder, "help-title-x3.png");
  ok &= Save(help.grab(), folder, "help.png");
  about.hide();
  help.hide();
  ok &= Save(LabelGallery(), folder, "cubic-labels.png");
  ok &= Save(IconSheet(), folder, "icons.png");
  ok &= Save(AnimationStrip(), folder, "search-animation.png");
  ok &= Save(MessageBoxPicture([] {
               TKorvaneApplication::Instance()->ShowException(
                   std::runtime_error("Unable to write to /opt/korvane/KORVANE.INI"));
             }),
             folder, "error-box.png");
  ok &= Save(SelectDialogPicture(), folder, "select-dialog.png");
  TVerifyStatus status;
  RunSampleVerification(status);
  ok &= Save(ViewLogPicture(status), folder, "view-log.png");
  ok &= Save(SubtotalPicture(status), folder, "subtotal.png");
  ok &= Save(UncheckedSubtotalPicture(), folder, "subtotal-unchecked.png");
  ok &= Save(MessageBoxPicture([] {
               ShowMessage(QStringLiteral("信息"),
                           QString::fromStdString(EndBoxText({.FilesChecked = 1, .FilesOk = 1,
                                                              .DirsUnsearchable = 1, .ItemsMissing = 1})),
                           TMessageKind::Information);
             }),
             folder, "end-box-unchecked.png");
  ok &= Save(MessageBoxPicture([] { AskYesNo(QStringLiteral("是否继续校验?")); }), folder,
             "question-box.png");
  ok &= SequencePictures(folder);
  return ok ? 0 : 1;
}
