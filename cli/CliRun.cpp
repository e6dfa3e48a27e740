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
#include "LogFile.h"
#include "LogText.h"
#include "OpenItems.h"
#include "Progress.h"
#include "SleepInhibitor.h"
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
                TProgressDisplay& progress) {
  std::jthread waiter([&] {
    verifier.WaitFor();
    events.PostRunOver();
  });
  bool stopRequested = false;
  for (;;) {
    for (const int event : events.Wait(progress.MillisecondsUntilDue())) {
      if (event == TEventPipe::RunOver) {
        progress.Clear();
        return;
      }
      if (stopRequested) {
        progress.Clear();
        TEventPipe::EndBySignal(event);
      }
      stopRequested = true;
      verifier.Terminate();
    }
    progress.Refresh(status);
  }
}

// The run itself; the signals are caught only while it goes on.
void Verify(TVerifySetupInfo& setup, TVerifyStatus& status, const TCliArguments& args) {
  TEventPipe events;
  // A machine that goes to sleep mid-run would break off the reads.
  Platform::TSleepInhibitor awake;
  if (!args.NoInhibit) awake.Acquire("Korvane", "校验文件");
  TVerifier verifier(status, setup, TRunOptions{.Cached = args.Cached});
  TProgressDisplay progress(stderr, !args.Quiet && isatty(STDERR_FILENO) == 1);
  MonitorRun(verifier, status, events, progress);
}

bool WriteLogToStandardOutput(const TStringList& log) {
  for (const std::string& line : log) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  Complain("不能写标准输出: " + Platform::SystemErrorText(errno));
  return false;
}

bool WriteLog(const TStringList& log, const std::optional<std::string>& logFile) {
  if (!logFile) return WriteLogToStandardOutput(log);
  try {
    SaveLogFile(log, *logFile);
    return true;
  } catch (const ELogFileError& error) {
    Complain(std::string(error.what()) + ".");
    return false;
  }
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
  if (args.LogFile) {
    try {
      CheckLogFileCreatable(*args.LogFile);
    } catch (const ELogFileError& error) {
      Complain(std::string(error.what()) + ".");
      return ExitUsage;
    }
  }
  TVerifyStatus status;
  Verify(setup, status, args);
  const bool written = WriteLog(status.Log, args.LogFile);
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
  const auto& log = status.Log;
  if (std::find(log.begin(), log.end(), LogText::Stopped) != log.end()) return ExitStopped;
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
