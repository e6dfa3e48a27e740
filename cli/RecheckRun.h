#pragma once
// korvane-cli --recheck: the files an earlier report found failed are read
// again, each several times in a row, to tell damaged media (every try
// fails at the same place) from a fault that comes and goes (a cable, a
// controller). The log and the report show the first try of each file as
// a run over it would; the tries after it only give the verdict.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "VerifyObserver.h"
#include "VerifySetupInfo.h"
#include "VerifyStatus.h"

// The failed files an earlier report names: those that could not be read
// are read again; those whose contents differed only reading cannot clear.
struct TReportedFailures {
  std::vector<std::string> Unreadable;
  std::vector<std::string> Mismatched;
};

class TRecheckRun {
 public:
  TRecheckRun();
  ~TRecheckRun();
  TRecheckRun(const TRecheckRun&) = delete;
  TRecheckRun& operator=(const TRecheckRun&) = delete;

  // Reads the earlier report. An exit status when the program must end
  // here: the report cannot be read, or options that do not go with it.
  std::optional<int> Load(const TCliArguments& args);
  bool Active() const { return Tries > 0; }
  // Every failed file, Tries times in a row, by its exact name.
  void ChooseItems(TVerifySetupInfo& setup) const;
  // Takes the run's events for observers, passing on each file's first try
  // with its verdict.
  TVerifyObserver* Observe(std::vector<TVerifyObserver*> observers);

  // After the run: a line on standard error for each file, the status's
  // counts made those of the first tries, and the exit status: 1 when a
  // file failed a try, unless the run was stopped.
  int Finish(TVerifyStatus& status, int exitStatus) REQUIRES(status.Mutex);

 private:
  class TTries;
  static constexpr int DefaultTries = 3;
  TReportedFailures Failed;
  std::int64_t ReadUnit = 0;
  int Tries = 0;
  std::unique_ptr<TTries> Observer;
};
