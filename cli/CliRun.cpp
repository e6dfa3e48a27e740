#include "CliRun.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "BadRangeLines.h"
#include "CliOptions.h"
#include "CommandLine.h"
#include "EventPipe.h"
#include "Supervisor.h"
#include "VersionInfo.h"
#include "Locale.h"
#include "Mounts.h"
#include "LogFile.h"
#include "LogOutput.h"
#include "LogText.h"
#include "LogWriter.h"
#include "OpenItems.h"
#include "OutputClash.h"
#include "Progress.h"
#include "ReportWriter.h"
#include "ResumeState.h"
#include "ReadTimes.h"
#include "RecheckRun.h"
#include "SpilledLines.h"
#include "SumsRun.h"
#include "SleepInhibitor.h"
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
// With checksum files or a report to recheck given, no item is needed:
// they name the files.
std::optional<int> ApplyArguments(const TCliArguments& args, TVerifySetupInfo& setup,
                                  bool itemsGivenElsewhere) {
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
  if (setup.VerifyList.empty() && !itemsGivenElsewhere) {
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

// What a run writes besides its log: the report and the state to resume from.
struct TRunExtras {
  std::unique_ptr<TReportWriter> Report;
  std::unique_ptr<TResumeState> State;
};

constexpr std::chrono::milliseconds WindDownLimit = TVerifier::WindDownLimit;
constexpr std::chrono::milliseconds AbandonRetry = TVerifier::AbandonRetry;

struct TRunEnd {
  int StopSignal = 0;  // the signal that stopped the run; 0 for none
  bool Abandoned = false;  // its thread was let go, held in the system
};

// Waits for the end of the run, drawing the progress and passing the first
// signal on as a stop request; a second one ends the program at once.
// Returns how it ended (SIGPIPE for a stop: the log's reader went away).
TRunEnd MonitorRun(TVerifier& verifier, TVerifyStatus& status, TEventPipe& events,
                   TProgressDisplay& progress, TLogOutput& log, TBadRangeLines& badRanges) {
  using TClock = std::chrono::steady_clock;
  std::jthread waiter([&] {
    while (!verifier.WaitFor(std::chrono::hours(1))) {}
    events.PostRunOver();
  });
  int stopSignal = 0;
  std::optional<TClock::time_point> windDownBy;
  for (;;) {
    const int progressDue = progress.MillisecondsUntilDue();
    const int logDue = log.MillisecondsUntilDue();
    int due = progressDue < 0 ? logDue : std::min(progressDue, logDue);
    if (windDownBy) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*windDownBy - TClock::now());
      due = std::max<int>(0, due < 0 ? static_cast<int>(left.count())
                                     : std::min<int>(due, static_cast<int>(left.count())));
    }
    for (const int event : events.Wait(due)) {
      if (event == TEventPipe::RunOver) {
        progress.Clear();
        return {stopSignal, false};
      }
      if (stopSignal != 0) {
        progress.Clear();
        log.Abandon();
        EndBySignal(event);
      }
      stopSignal = event;
      verifier.Terminate();
      windDownBy = TClock::now() + WindDownLimit;
    }
    if (windDownBy && TClock::now() >= *windDownBy) {
      if (verifier.Abandon()) {
        progress.Clear();
        waiter.detach();
        return {stopSignal, true};
      }
      windDownBy = TClock::now() + AbandonRetry;
    }
    if (std::vector<std::string> lines = badRanges.Take(); !lines.empty()) {
      progress.Clear();
      for (const std::string& line : lines) Complain(line);
    }
    progress.Refresh(status);
    log.FlushIfDue();
    // The rest of the log would go nowhere: the run ends as on a stop,
    // with its report and state.
    if (stopSignal == 0 && log.ReaderGone()) {
      stopSignal = SIGPIPE;
      verifier.Terminate();
      windDownBy = TClock::now() + WindDownLimit;
    }
  }
}

// The run itself; the signals are caught only while it goes on. The log
// goes out while the run goes on; only the error list, printed at its end,
// is kept, compactly.
TRunEnd Verify(TVerifySetupInfo& setup, TVerifyStatus& status, const TCliArguments& args,
               TContentCheck* contents, TLogOutput& log, const TRunExtras& extras,
               TKeptTotals& totals, TRecheckRun& recheck) {
  TEventPipe events;
  // A machine that goes to sleep mid-run would break off the reads.
  Platform::TSleepInhibitor awake;
  if (!args.NoInhibit) awake.Acquire("Korvane", "校验文件");
  TSpilledLines errorList;
  TLogWriter writer(log, errorList);
  TBadRangeLines badRanges;
  TLongFileFlush flushAfterLongFiles(log);
  // The state first: a kill between two observers then leaves in the
  // state every file the report already lists as checked.
  std::vector<TVerifyObserver*> observers;
  if (extras.State) observers.push_back(extras.State.get());
  observers.insert(observers.end(), {&writer, &badRanges, &flushAfterLongFiles, &totals});
  if (extras.Report) observers.push_back(extras.Report.get());
  if (recheck.Active()) observers = {recheck.Observe(std::move(observers))};
  auto verifier = std::make_unique<TVerifier>(
      status, setup,
      TRunOptions{.Cached = args.Cached,
                  // Each try of a recheck reads its file afresh from the medium.
                  .ReadAhead = !recheck.Active(),
                  .Contents = contents,
                  .AllErrors = args.AllErrors,
                  .SlowRead = std::chrono::milliseconds(args.SlowMs),
                  .ReadTimeout = std::chrono::seconds(args.TimeoutSeconds),
                  .Observers = std::move(observers),
                  .Finished = extras.State.get()});
  TProgressDisplay progress(stderr, !args.Quiet && isatty(STDERR_FILENO) == 1);
  const TRunEnd end = MonitorRun(*verifier, status, events, progress, log, badRanges);
  // A thread let go still uses its verifier until the process ends.
  if (end.Abandoned) KeepForever(verifier);
  for (const std::string& line : badRanges.Take()) Complain(line);
  return end;
}

// Opened before the run, so that a log that cannot be written is refused
// before hours of reading (a FIFO's reader is there from the start); an
// older log stays until the new one is complete.
std::unique_ptr<TLogOutput> OpenLog(const std::optional<std::string>& logFile) {
  if (!logFile) return StandardOutputLog();
  std::string failure;
  auto log = LogFileOutput(*logFile, failure);
  if (!log) Complain(failure);
  return log;
}

void ReportStateRead(const std::string& fileName, const TResumeState& state) {
  const auto count = [](std::size_t n) { return Platform::FormatCount(static_cast<std::int64_t>(n)); };
  if (state.TooLongLines() > 0)
    Complain("状态文件'" + fileName + "'中有 " + count(state.TooLongLines()) + " 行超过 1 MiB, 已略过.");
  if (state.Unidentified() > 0)
    Complain("状态文件'" + fileName + "'由旧版本写成, 没有记下文件所在的文件系统: 其中 " +
             count(state.Unidentified()) + " 个文件将重新校验 (不能分辨原盘和它的副本).");
  if (state.Resumed() > 0)
    Complain("继续上次中断的校验: 状态文件记有 " + count(state.Resumed()) +
             " 个已校验的文件, 其中未改动的不再读取.");
}

// The report: its file is emptied only when the run writes to it.
std::unique_ptr<TReportWriter> OpenReport(const TCliArguments& args, const TStringList& arguments,
                                          const TVerifySetupInfo& setup) {
  TReportRun run{.Arguments = arguments,
                 .Items = setup.VerifyList,
                 .Subdirectories = setup.AllSubdirectories,
                 .AllAttributes = setup.AllFileAttributes,
                 .ReadUnit = ReadUnitOfRun(setup.PositionError, setup.ReadUnit),
                 .Cached = args.Cached,
                 .AllErrors = args.AllErrors,
                 .SlowMs = args.SlowMs,
                 .TimeoutS = args.TimeoutSeconds > 0 ? std::optional<std::int64_t>(args.TimeoutSeconds)
                                                     : std::nullopt};
  std::string failure;
  auto report = TReportWriter::Open(*args.ReportFile, std::move(run), failure);
  if (!report) Complain(failure);
  return report;
}

// The state is read and marked as it is opened.
std::unique_ptr<TResumeState> OpenState(const TCliArguments& args, const TVerifySetupInfo& setup) {
  std::string failure;
  auto state = TResumeState::Open(*args.ResumeFile, setup,
                                  {.Cached = args.Cached,
                                   .AllErrors = args.AllErrors,
                                   .SlowMs = args.SlowMs,
                                   .TimeoutSeconds = args.TimeoutSeconds},
                                  failure);
  if (!state) {
    Complain(failure);
    return nullptr;
  }
  ReportStateRead(*args.ResumeFile, *state);
  return state;
}

// Opened before the run too, the state last: it alone is written as it
// is opened, and a run refused at the start must leave every file as it
// was. An exit status when one cannot be used.
std::optional<int> OpenExtras(const TCliArguments& args, const TStringList& arguments,
                              const TVerifySetupInfo& setup, TRunExtras& extras) {
  if (args.ResumeFile && (!args.CheckSums.empty() || args.MakeSums)) {
    // A file not read again gives no digest to compare or to write.
    Complain("--resume 不能与 --check-sums 或 --make-sums 同用.");
    return UsageError();
  }
  if (args.ReportFile && !(extras.Report = OpenReport(args, arguments, setup))) return ExitUsage;
  if (args.ResumeFile && !(extras.State = OpenState(args, setup))) return ExitUsage;
  return std::nullopt;
}

// After the run: the report's summary, and the state kept or removed.
// Returns the exit status, ExitUsage when either could not be written.
int FinishExtras(TRunExtras& extras, const TVerifyStatus& status, const TRunTotals& totals,
                 bool logWritten, int exitStatus) REQUIRES(status.Mutex) {
  if (extras.State) {
    // A directory that could not be searched, or an item not there, may be
    // a drive not plugged in yet: what was checked so far is kept for then.
    const bool allReached = status.SearchFailures.empty() && status.MissingItems.empty();
    const std::optional<std::string> failure =
        extras.State->Finish(logWritten && !status.Stopped && allReached);
    if (failure) {
      Complain(*failure);
      exitStatus = ExitUsage;
    } else if (extras.State->Unreached() > 0) {
      Complain(Platform::FormatCount(extras.State->Unreached()) +
               " 个文件所在的介质已不可用; 再次执行同样的命令 (--resume) 校验它们.");
    } else if (!allReached && !status.Stopped) {
      Complain("有目录不能搜索或有文件名不存在, 状态文件已保留; 再次执行同样的命令 (--resume) 校验它们.");
    }
  }
  if (extras.Report) {
    if (const std::optional<std::string> failure = extras.Report->Finish(totals, status.Stopped, exitStatus)) {
      Complain(*failure);
      exitStatus = ExitUsage;
    }
  }
  return exitStatus;
}

// The log shows a directory that could not be searched only as one without
// matching files; a run that must be trusted says which and why.
// A drive gone away is said once: each of its directories has its block in
// the log, and a line for each would only repeat that the drive is gone.
void ReportSearchFailures(const TVerifyStatus& status) REQUIRES(status.Mutex) {
  std::set<std::string> goneDrives;
  for (const TSearchFailure& failure : status.SearchFailures) {
    if (!failure.DriveGone) {
      Complain("不能搜索目录'" + failure.Directory + "': 错误代码=" + std::to_string(failure.Code) +
               ", " + Platform::SystemErrorText(failure.Code));
      continue;
    }
    std::string drive = Platform::MountByName(failure.Directory).MountPoint;
    if (drive.empty()) drive = failure.Directory;
    if (goneDrives.insert(drive).second) Complain("驱动器已不可用: " + drive);
  }
  for (const TMissingItem& missing : status.MissingItems)
    Complain("'" + missing.Item + "': " + Platform::SystemErrorText(missing.Code));
  for (const std::string& path : status.PagesKeptFiles)
    Complain("'" + path + "': 数据仍在内存中 (被其他进程映射), 读出的数据可能不是来自介质");
}

int Run(const TCliArguments& args, const TStringList& arguments) {
  if (const std::optional<std::string> clash = OutputClash(args)) {
    Complain(*clash);
    return ExitUsage;
  }
  TVerifySetupInfo setup;
  TSumsRun sums;
  if (const auto status = sums.Load(args)) return *status;
  TRecheckRun recheck;
  if (const auto status = recheck.Load(args)) return *status;
  if (const auto status = ApplyArguments(args, setup, sums.Checking() || recheck.Active()))
    return *status;
  sums.ChooseItems(setup);
  if (recheck.Active()) recheck.ChooseItems(setup);
  // The log before the others: it stays out of sight until committed.
  const std::unique_ptr<TLogOutput> log = OpenLog(args.LogFile);
  if (!log) return ExitUsage;
  TRunExtras extras;
  if (const auto status = OpenExtras(args, arguments, setup, extras)) return *status;
  TVerifyStatus status;
  TKeptTotals totals;
  const TRunEnd end = Verify(setup, status, args, sums.Contents(), *log, extras, totals, recheck);
  const int stopSignal = end.StopSignal;
  const std::optional<std::string> failure = log->Commit();
  if (failure) Complain(*failure);
  const bool written = !failure;
  // The worker has ended; the lock is what says so to the lock analysis.
  TMutexLock hold(status.Mutex);
  int exitStatus = ExitStatusOf(status);
  if (recheck.Active()) exitStatus = recheck.Finish(status, exitStatus);
  ReportSearchFailures(status);
  const bool sumsWritten = sums.Finish(exitStatus == ExitStopped);
  if (args.Verbose) Complain(ReadTimesLine(totals.Kept().ReadTimes));
  std::fputs(Platform::InLocaleCodeset(SummaryLine(status, totals.Kept().FilesSlow) + "\n").c_str(),
             stderr);
  // A closed terminal stops a run as Ctrl-C does; the status says which.
  if (exitStatus == ExitStopped && stopSignal == SIGHUP) exitStatus = ExitHungUp;
  if (!written || !sumsWritten) exitStatus = ExitUsage;
  if (stopSignal == SIGPIPE) {
    Complain("校验记录的读取方已关闭管道, 校验提前结束.");
    exitStatus = ExitPipeClosed;
  }
  exitStatus = FinishExtras(extras, status, totals.Kept(), written, exitStatus);
  // The run's thread, held in the system, still uses what this function
  // holds: the process ends here, with everything written.
  if (end.Abandoned) EndQuickly(exitStatus);
  return exitStatus;
}

}  // namespace

int RunCli(const TStringList& arguments) {
  const TCliArguments args = SplitArguments(arguments);
  for (const std::string& error : args.Errors) Complain(error);
  if (!args.Errors.empty()) return UsageError();
  if (args.Help) return PrintText(UsageText());
  if (args.Version) return PrintText(VersionBanner());
  return Run(args, arguments);
}

int ExitStatusOf(const TVerifyStatus& status) {
  if (status.Stopped) return ExitStopped;
  const bool failed =
      status.FilesError > 0 || !status.SearchFailures.empty() || !status.MissingItems.empty();
  if (failed) return ExitFileErrors;
  const bool nothingChecked = status.FilesOk == 0 && status.FilesSkipped == 0;
  return nothingChecked ? ExitNothingMatched : ExitAllCorrect;
}

std::string SummaryLine(const TVerifyStatus& status, std::int64_t filesSlow) {
  using Platform::FormatCount;
  std::string line = std::string(ProgramName) + ": 正确 " + FormatCount(status.FilesOk) +
                     ", 错误 " + FormatCount(status.FilesError) + ", 忽略 " +
                     FormatCount(status.FilesSkipped) + " 个文件; ";
  if (filesSlow > 0) line += "有慢区 " + FormatCount(filesSlow) + " 个文件; ";
  line += "总计 " + FormatCount(status.TotalBytes) + " 字节; 用时 " +
          Platform::FormatDuration(status.EndTime - status.StartTime);
  if (ExitStatusOf(status) == ExitStopped) line += "; " + std::string(LogText::Stopped);
  return line;
}
