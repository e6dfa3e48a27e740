// korvane-cli: the verification engine without a window.
#include "CliRun.h"
#include "EventPipe.h"
#include "Process.h"
#include "Supervisor.h"

int main(int argc, char** argv) {
  Platform::OpenMissingStandardDescriptors();
  // Then, before anything else: a Ctrl-C in the first milliseconds must still
  // end the run with its log.
  TEventPipe::CatchSignalsEarly();
  SplitOffRun();
  Platform::InitializeProcess();
  return EndOfRun(RunCli(TStringList(argv + 1, argv + argc)));
}
