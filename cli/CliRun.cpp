#include "CliRun.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
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
#include "SumsRun.h"
#include "SystemError.h"
#include "TextEncoding.h"
#include "VerifierUnit.h"

// Messages quote names, paths and switches as the user gave them; their
// control characters are written as "\xNN", as in the log.
// In the locale's codeset, as the terminal shows it.
void Complain(const std::string& text) {
  const std::string line =
      std::string(ProgramName) + ": " + Platform::EscapeControlCharacters(text) + "\n";
  std::fputs(Platform::InLocaleCodeset(line).c_str(), stderr);
}

namespace {

int UsageError() {
  std::fputs(Platform::InLocaleCodeset("请尝试执行 \"" + std::string(ProgramName) +
                                       " --help\" 来获取更多信息.\n").c_str(),
             stderr);
  return ExitUsage;
}

int PrintText(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? ExitAllCorrect : ExitUsage;
}

// The settings file, then the switches and items over it. Returns an exit
// status when the program must end here (help, or bad usage).
// With checksum files given, no item is needed: they name the files.
std::optional<int> ApplyArguments(const TCliArguments& args, TVerifySetupInfo& setup,
                                  bool manifestsGiven) {
  int errors = 0;
  ParseCommandLine(args.Parameters, setup, [&errors](const std::string& text) {
    Complain(text);
    ++errors;
  });
  for (const std::string& item : args.LiteralItems) AddVerifyItem(item, setup);
  AddOpenedPaths(args.OpenPaths, setup);
  CheckDirectoriesWhole(setup.VerifyList);
  if (errors > 0) return UsageError();
  if (setup.ShowHelp) return PrintText(UsageText());
  if (setup.VerifyList.empty() && !manifestsGiven) {
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
// signal on as a stop request; a second one ends the program at once.
// Returns the signal that stopped the run, 0 for none.
int MonitorRun(TVerifier& verifier, TVerifyStatus& status, TEventPipe& events,
               TProgressDisplay& progress) {
  std::jthread waiter([&] {
    verifier.WaitFor();
    events.PostRunOver();
  });
  int stopSignal = 0;
  for (;;) {
    for (const int event : events.Wait(progress.MillisecondsUntilDue())) {
      if (event == TEventPipe::RunOver) {
        progress.Clear();
        return stopSignal;
      }
      if (stopSignal != 0) {
        progress.Clear();
        TEventPipe::EndBySignal(event);
      }
      stopSignal = event;
      verifier.Terminate();
    }
    progress.Refresh(status);
  }
}

// The run itself; the signals are caught only while it goes on.
// Returns the signal that stopped the run, 0 for none.
int Verify(TVerifySetupInfo& setup, TVerifyStatus& status, const TCliArguments& args,
           TContentCheck* contents) {
  TEventPipe events;
  TVerifier verifier(status, setup, TRunOptions{.Cached = args.Cached, .Contents = contents});
  TProgressDisplay progress(stderr, !args.Quiet && isatty(STDERR_FILENO) == 1);
  return MonitorRun(verifier, status, events, progress);
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

void ComplainOfLogFile(const ELogFileError& error) {
  std::string text = std::string(error.what()) + ".";
  if (error.Code() != 0) text += " " + Platform::SystemErrorText(error.Code());
  Complain(text);
}

bool WriteLog(const TStringList& log, std::optional<TLogFileWriter>& logFile) {
  if (!logFile) return WriteLogToStandardOutput(log);
  try {
    for (const std::string& line : log) logFile->AppendLine(line);
    logFile->Commit();
    return true;
  } catch (const ELogFileError& error) {
    ComplainOfLogFile(error);
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
  for (const TMissingItem& missing : status.MissingItems)
    Complain("'" + missing.Item + "': " + Platform::SystemErrorText(missing.Code));
  for (const std::string& path : status.PagesKeptFiles)
    Complain("'" + path + "': 数据仍在内存中 (被其他进程映射), 读出的数据可能不是来自介质");
}

int Run(const TCliArguments& args) {
  TVerifySetupInfo setup;
  TSumsRun sums;
  if (const auto status = sums.Load(args)) return *status;
  if (const auto status = ApplyArguments(args, setup, sums.Checking())) return *status;
  sums.ChooseItems(setup);
  // The log file is opened before the run, so that a log that cannot be
  // written is refused before hours of reading (a FIFO's reader is there
  // from the start), and the old one stays until the new log is complete.
  std::optional<TLogFileWriter> logFile;
  try {
    if (args.LogFile) logFile.emplace(*args.LogFile);
  } catch (const ELogFileError& error) {
    ComplainOfLogFile(error);
    return ExitUsage;
  }
  TVerifyStatus status;
  const int stopSignal = Verify(setup, status, args, sums.Contents());
  const bool written = WriteLog(status.Log, logFile);
  ReportSearchFailures(status);
  const bool sumsWritten = sums.Finish(ExitStatusOf(status) == ExitStopped);
  std::fputs(Platform::InLocaleCodeset(SummaryLine(status) + "\n").c_str(), stderr);
  if (!written || !sumsWritten) return ExitUsage;
  const int exitStatus = ExitStatusOf(status);
  // A closed terminal stops a run as Ctrl-C does; the status says which.
  return exitStatus == ExitStopped && stopSignal == SIGHUP ? ExitHungUp : exitStatus;
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
  const bool failed =
      status.FilesError > 0 || !status.SearchFailures.empty() || !status.MissingItems.empty();
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
