#pragma once
// The program's own files must never be one another: a log written over
// the report, a state removed at the end with the log in it, a checksum
// file replaced by the list being made from it.
#include <optional>
#include <string>

#include "CliOptions.h"

// The message, naming both options, when two of the files the run writes
// (log, report, state, checksum file made) are one file, or when one of
// them is a file it reads (a checksum file it checks against, the report
// --recheck reads again); none when all are apart.
// The log on standard output counts too: two writers on one file or pipe
// would spoil both.
std::optional<std::string> OutputClash(const TCliArguments& args);
