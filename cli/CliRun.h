#pragma once
// korvane-cli: the verification run without a window, for scripts, servers
// and terminals. Same settings file and switches as the window program,
// but strict: a bad command line ends the program before anything is read.
#include <cstdint>
#include <string>

#include "VerifyStatus.h"

inline constexpr int ExitAllCorrect = 0;
// a file could not be opened or read, or a directory could not be searched
inline constexpr int ExitFileErrors = 1;
inline constexpr int ExitUsage = 2;       // also: the log could not be written
// the items matched no file: nothing was checked, which proves nothing
inline constexpr int ExitNothingMatched = 3;
inline constexpr int ExitStopped = 130;   // 128 + SIGINT, as shells report it
inline constexpr int ExitHungUp = 129;    // 128 + SIGHUP: stopped by a closed terminal
// 128 + SIGPIPE, as a pipeline's shell reports a reader gone: the log's
// pipe was closed (`| head`), and the run ended early.
inline constexpr int ExitPipeClosed = 141;

// Runs the program on its arguments (without its name); returns the exit
// status.
int RunCli(const TStringList& arguments);

// After a run: 130 when the log says the user stopped it, 1 when a file or
// a directory search failed or an item named nothing, 3 when no file
// matched, otherwise 0.
int ExitStatusOf(const TVerifyStatus& status) REQUIRES(status.Mutex);

// One message on standard error, after the program's name.
void Complain(const std::string& text);

// The one line written to standard error at the end; files with slow
// ranges are counted when there are any.
std::string SummaryLine(const TVerifyStatus& status, std::int64_t filesSlow = 0)
    REQUIRES(status.Mutex);
