#pragma once
// The long options of korvane-cli, taken off the argument list before the
// switch parser sees the rest, and the texts of --help and --version.
#include <optional>
#include <string>

#include "VerifySetupInfo.h"
#include "VerifyStatus.h"

inline constexpr const char* ProgramName = "korvane-cli";

struct TCliArguments {
  bool Help = false;
  bool Version = false;
  bool Quiet = false;
  bool Cached = false;
  bool NoInhibit = false;  // let the machine sleep during the run
  bool AllErrors = false;  // go on past read errors, listing every bad range
  bool Verbose = false;    // the read times at the end
  int SlowMs = 1000;       // a read slower than this is listed as a slow range
  int TimeoutSeconds = 0;  // a read blocked longer fails its file; 0: no limit
  std::optional<std::string> LogFile;
  std::optional<std::string> ReportFile;  // the run's records as JSON Lines
  std::optional<std::string> ResumeFile;  // the state an interrupted run goes on from
  std::optional<std::string> RecheckFile;  // an earlier report whose failed files are read again
  int Tries = 0;                           // how often --recheck reads each of them; 0: not given
  TStringList CheckSums;                 // --check-sums, in the order given
  std::optional<std::string> MakeSums;
  std::optional<std::string> SumType;
  TStringList Parameters;    // switches and items, for the switch parser
  TStringList LiteralItems;  // after "--": items even when they begin with '-'
  TStringList OpenPaths;     // after "--open": paths as a file manager means them
  TStringList Errors;        // one text for each long option not understood
};

// Sorts the program's arguments (without its name). "--log FILE" is taken
// like "--log=FILE", as GNU programs do; empty arguments are dropped.
// "--open" ends the options: every word after it is a path.
TCliArguments SplitArguments(const TStringList& arguments);

// Adds the items of "--open" paths: a directory stands for everything in
// it, anything else is one file named literally.
void AddOpenedPaths(const TStringList& paths, TVerifySetupInfo& setup);

std::string UsageText();
