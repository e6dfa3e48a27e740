#include "ProgramStart.h"

#include <string>
#include <vector>

#include "AboutUnit.h"
#include "CmdLineHelpUnit.h"
#include "KorvaneApplication.h"
#include "Process.h"
#include "ResourceUnit.h"
#include "ResultUnit.h"
#include "SelectDialogUnit.h"
#include "VersionInfo.h"
#include "ViewLogUnit.h"

TProgramWindows::TProgramWindows(TMainFormStart start) {
  FMainForm = std::make_unique<TMainForm>(std::move(start));
  MainForm = FMainForm.get();
  FSelectDialog = std::make_unique<TSelectDialog>(*SetupInfo);
  SelectDialog = FSelectDialog.get();
  FResultForm = std::make_unique<TResultForm>(*VerifyStatus, *SetupInfo);
  ResultForm = FResultForm.get();
  FViewLogForm = std::make_unique<TViewLogForm>(*VerifyStatus);
  ViewLogForm = FViewLogForm.get();
  FAboutForm = std::make_unique<TAboutForm>();
  AboutForm = FAboutForm.get();
  FHelpDialog = std::make_unique<THelpDialog>();
  HelpDialog = FHelpDialog.get();

  SelectDialog->StartVerify = [] { MainForm->StartVerify(); };
  ResultForm->ShowSelection = [] { ::ShowSelection(); };
  MainForm->ShowSelection = [] { ::ShowSelection(); };
  MainForm->ShowSubtotal = [] { ::ShowSubtotal(); };
  MainForm->ShowCommandLineHelp = [] { ::ShowCommandLineHelp(); };
  MainForm->ShowAbout = [] { ::ShowAbout(); };
}

namespace {

// A window goes after its global pointer, so that nothing reaches it half freed.
template <typename TWindow>
void Free(TWindow*& global, std::unique_ptr<TWindow>& window) {
  global = nullptr;
  window.reset();
}

}  // namespace

TProgramWindows::~TProgramWindows() {
  Free(HelpDialog, FHelpDialog);
  Free(AboutForm, FAboutForm);
  Free(ViewLogForm, FViewLogForm);
  Free(ResultForm, FResultForm);
  Free(SelectDialog, FSelectDialog);
  Free(MainForm, FMainForm);
}

void TProgramWindows::Show() { FMainForm->show(); }

int RunKorvane(int& argc, char** argv) {
  Platform::InitializeProcess();
  ProgramVersion();  // read once, before any window exists
  TKorvaneApplication application(argc, argv);
  application.SetTitle(QStringLiteral("Korvane"));
  QApplication::setWindowIcon(LoadIconResource(QStringLiteral("MAINICON")));
  // The progress window hides in the tray while dialogs come and go; the
  // program ends only when a window tells it to.
  QApplication::setQuitOnLastWindowClosed(false);
  // Qt has taken its own switches (-platform, -display ...) out of argv.
  TProgramWindows windows({std::vector<std::string>(argv + 1, argv + argc), {}, ShowMessage});
  windows.Show();
  return QApplication::exec();
}
