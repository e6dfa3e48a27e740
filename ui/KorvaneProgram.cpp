#include "KorvaneProgram.h"

#include <string>
#include <vector>

#include "AboutUnit.h"
#include "CmdLineHelpUnit.h"
#include "KeptLog.h"
#include "KorvaneApplication.h"
#include "Process.h"
#include "ProgramInfo.h"
#include "ResourceUnit.h"
#include "ResultUnit.h"
#include "SelectDialogUnit.h"
#include "VersionInfo.h"
#include "ViewLogUnit.h"

TKorvaneProgram::TKorvaneProgram(TMainFormStart start)
    : FData(start.IniFileName, KeptLogFolder()) {
  FMainForm = std::make_unique<TMainForm>(FData, std::move(start));
  FSelectDialog = std::make_unique<TSelectDialog>(FData.Setup());
  FResultForm = std::make_unique<TResultForm>(FData.Status(), FData.Setup());
  FViewLogForm = std::make_unique<TViewLogForm>(FData.Status());
  FAboutForm = std::make_unique<TAboutForm>();
  FHelpDialog = std::make_unique<THelpDialog>();
  JoinWindows();
  SetupInfo = &FData.Setup();
  VerifyStatus = &FData.Status();
}

void TKorvaneProgram::JoinWindows() {
  // Each window is given what it opens; none reaches another by itself.
  auto showAbout = [this] { FAboutForm->ShowAbout(); };
  auto showSelection = [this] { FSelectDialog->ShowSelection(); };
  FMainForm->ShowSelection = showSelection;
  FMainForm->ShowSubtotal = [this] { FResultForm->ShowSubtotal(); };
  FMainForm->ShowCommandLineHelp = [this] { FHelpDialog->ShowCommandLineHelp(); };
  FMainForm->ShowAbout = showAbout;
  FSelectDialog->StartVerify = [this] { FMainForm->StartVerify(); };
  FSelectDialog->ShowAbout = showAbout;
  FResultForm->ShowSelection = showSelection;
  FResultForm->ShowLog = [this] { FViewLogForm->ShowLog(); };
  FResultForm->ShowAbout = showAbout;
  FResultForm->KeptLogFailure = [this] { return FData.Run().KeptLogFailure(); };
  FViewLogForm->ShowAbout = showAbout;
  FAboutForm->ShowCommandLineHelp = FMainForm->ShowCommandLineHelp;
}

TKorvaneProgram::~TKorvaneProgram() {
  if (SetupInfo == &FData.Setup()) SetupInfo = nullptr;
  if (VerifyStatus == &FData.Status()) VerifyStatus = nullptr;
}

void TKorvaneProgram::Show() { FMainForm->show(); }

int RunKorvane(int& argc, char** argv) {
  if (const std::optional<int> status = AnswerInfoSwitches(std::vector<std::string>(argv + 1, argv + argc)))
    return *status;
  Platform::InitializeProcess();
  ProgramVersion();  // read once, before any window exists
  TKorvaneApplication application(argc, argv);
  application.SetTitle(QStringLiteral("Korvane"));
  QApplication::setWindowIcon(LoadIconResource(QStringLiteral("MAINICON")));
  // The progress window hides in the tray while dialogs come and go; the
  // program ends only when a window tells it to.
  QApplication::setQuitOnLastWindowClosed(false);
  // Qt has taken its own switches (-platform, -display ...) out of argv.
  TKorvaneProgram program({std::vector<std::string>(argv + 1, argv + argc), {}, ShowMessage});
  program.Show();
  return QApplication::exec();
}
