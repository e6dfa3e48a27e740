#include "CliRun.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "CliOptions.h"
#include "CommandLine.h"
#include "EventPipe.h"
#include "Locale.h"
#include "LogOutput.h"
#include "LogText.h"
#include "LogWriter.h"
#include "OpenItems.h"
#include "Progress.h"
#include "SpilledLines.h"
#include "SystemError.h"
#include "TextEncoding.h"
#include "VerifierUnit.h"

namespace {

// Messages quote names, paths and switches as the user gave them; their
// control characters are written as "\xNN", as in the log.
void Complain(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", ProgramName, Platform::EscapeControlCharacters(text).c_str());
}

int UsageError() {
  std::fprintf(stderr, "请尝试执行 \"%s --help\" 来获取更多信息.\n", ProgramName);
  return ExitUsage;
}

int PrintText(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? ExitAllCorrect : ExitUsage;
}

// The settings file, then the switches and items over it. Returns an exit
// status when the program must end here (help, or bad usage).
std::optional<int> ApplyArguments(const TCliArguments& args, TVerifySetupInfo& setup) {
  int errors = 0;
  ParseCommandLine(args.Parameters, setup, [&errors](const std::string& text) {
    Complain(text);
    ++errors;
  });
  for (const std::string& item : args.LiteralItems) AddVerifyItem(item, setup);
  AddOpenedItems(args.OpenPaths, setup.VerifyList);
  if (errors > 0) return UsageError();
  if (setup.ShowHelp) return PrintText(UsageText());
  if (setup.VerifyList.empty()) {
    Complain("未选择校验文件.");
    return UsageError();
  }
  // Units out of range can only come from -P: the settings file's are
  // corrected when it is read.
  if (setup.PositionError && !IsValidReadUnit(setup.ReadUnit)) {
    Complain("读取单位 " + std::to_string(setup.ReadUnit) + " 不在 1 至 1048576 之间.");
    return UsageError();
  }
  return std::nullopt;
}

// Waits for the end of the run, drawing the progress and passing the first
// SIGINT or SIGTERM on as a stop request; a second one ends the program at
// once.
void MonitorRun(TVerifier& verifier, TVerifyStatus& status, TEventPipe& events,
                TProgressDisplay& progress, TLogOutput& log) {
  std::jthread waiter([&] {
    verifier.WaitFor();
    events.PostRunOver();
  });
  bool stopRequested = false;
  for (;;) {
    const int progressDue = progress.MillisecondsUntilDue();
    const int logDue = log.MillisecondsUntilDue();
    for (const int event : events.Wait(progressDue < 0 ? logDue : std::min(progressDue, logDue))) {
      if (event == TEventPipe::RunOver) {
        progress.Clear();
        return;
      }
      if (stopRequested) {
        progress.Clear();
        log.Abandon();
        TEventPipe::EndBySignal(event);
      }
      stopRequested = true;
      verifier.Terminate();
    }
    progress.Refresh(status);
    log.FlushIfDue();
  }
}

// The run itself; the signals are caught only while it goes on.
// The log goes out while the run goes on; only the error list, printed
// at its end, is kept, compactly.
void Verify(TVerifySetupInfo& setup, TVerifyStatus& status, const TCliArguments& args,
            TLogOutput& log) {
  TEventPipe events;
  TSpilledLines errorList;
  TLogWriter writer(log, errorList);
  TVerifier verifier(status, setup, TRunOptions{.Cached = args.Cached, .Observers = {&writer}});
  TProgressDisplay progress(stderr, !args.Quiet && isatty(STDERR_FILENO) == 1);
  MonitorRun(verifier, status, events, progress, log);
}

std::unique_ptr<TLogOutput> OpenLog(const std::optional<std::string>& logFile) {
  if (!logFile) return StandardOutputLog();
  std::string failure;
  auto log = LogFileOutput(*logFile, failure);
  if (!log) Complain(failure);
  return log;
}

// The log shows a directory that could not be searched only as one without
// matching files; a run that must be trusted says which and why.
void ReportSearchFailures(const TVerifyStatus& status) {
  for (const TSearchFailure& failure : status.SearchFailures) {
    Complain("不能搜索目录'" + failure.Directory + "': 错误代码=" + std::to_string(failure.Code) +
             ", " + Platform::SystemErrorText(failure.Code));
  }
}

int Run(const TCliArguments& args) {
  TVerifySetupInfo setup;
  if (const auto status = ApplyArguments(args, setup)) return *status;
  const std::unique_ptr<TLogOutput> log = OpenLog(args.LogFile);
  if (!log) return ExitUsage;
  TVerifyStatus status;
  Verify(setup, status, args, *log);
  const std::optional<std::string> failure = log->Commit();
  if (failure) Complain(*failure);
  const bool written = !failure;
  ReportSearchFailures(status);
  std::fprintf(stderr, "%s\n", SummaryLine(status).c_str());
  return written ? ExitStatusOf(status) : ExitUsage;
}

}  // namespace

int RunCli(const TStringList& arguments) {
  const TCliArguments args = SplitArguments(arguments);
  for (const std::string& error : args.Errors) Complain(error);
  if (!args.Errors.empty()) return UsageError();
  if (args.Help) return PrintText(UsageText());
  if (args.Version) return PrintText(VersionText());
  return Run(args);
}

int ExitStatusOf(const TVerifyStatus& status) {
  if (status.Stopped) return ExitStopped;
  const bool failed = status.FilesError > 0 || !status.SearchFailures.empty();
  return failed ? ExitFileErrors : ExitAllCorrect;
}

std::string SummaryLine(const TVerifyStatus& status) {
  using Platform::FormatCount;
  std::string line = std::string(ProgramName) + ": 正确 " + FormatCount(status.FilesOk) +
                     ", 错误 " + FormatCount(status.FilesError) + ", 忽略 " +
                     FormatCount(status.FilesSkipped) + " 个文件; 总计 " +
                     FormatCount(status.TotalBytes) + " 字节; 用时 " +
                     Platform::FormatTimeOfDay(status.EndTime - status.StartTime,
                                               Platform::LongTimeFormat());
  if (ExitStatusOf(status) == ExitStopped) line += "; " + std::string(LogText::Stopped);
  return line;
}
