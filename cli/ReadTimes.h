#pragma once
// What korvane-cli adds to its closing line from the run's totals: the
// files with slow ranges, and with --verbose how long the reads took.
#include <string>

#include "VerifyObserver.h"

// "读取用时: <5 毫秒 1,024, <20 毫秒 3, ..., ≥500 毫秒 2"
std::string ReadTimesLine(const TReadTimeHistogram& times);

// Keeps the totals the run ends with. They are written on the worker's
// thread and read once the run's thread has been joined.
class TKeptTotals : public TVerifyObserver {
 public:
  void RunFinished(const TRunTotals& totals) override { Totals = totals; }
  const TRunTotals& Kept() const { return Totals; }

 private:
  TRunTotals Totals;
};
