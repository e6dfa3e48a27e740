// korvane-cli: the verification engine without a window.
#include "CliRun.h"
#include "Process.h"

int main(int argc, char** argv) {
  Platform::InitializeProcess();
  return RunCli(TStringList(argv + 1, argv + argc));
}
