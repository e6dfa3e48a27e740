#pragma once
// "korvane --help" and "korvane --version": answered on standard output
// before any window or display is needed, so that they work over ssh, in
// scripts and in packaging checks.
#include <optional>
#include <string>

#include "VerifyStatus.h"

// The designed command-line help, then the long switches.
std::string WindowProgramUsage();

// The exit status when the arguments (without the program's name) ask for
// the help or the version, which is then printed; none otherwise. The
// words after "--open" are paths, never switches.
std::optional<int> AnswerInfoSwitches(const TStringList& arguments);
