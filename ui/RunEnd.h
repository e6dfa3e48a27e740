#pragma once
// What the end of a run says in the window, the box and the desktop's
// notice alike: a run in which a directory could not be searched, an item
// named nothing or no file matched at all is never told as a plain success.
#include <cstdint>
#include <string>
#include <vector>

#include "VerifyStatus.h"

struct TRunEndFacts {
  std::int64_t FilesChecked = 0;  // correct, failed and skipped
  std::int64_t FilesOk = 0;
  std::int64_t FilesError = 0;
  std::int64_t DirsUnsearchable = 0;
  std::int64_t ItemsMissing = 0;
  bool Stopped = false;
};

TRunEndFacts RunEndFacts(const TVerifyStatus& status) REQUIRES(status.Mutex);

// The subtotal's rows for what was not checked, as caption and value; only
// those with a count above 0.
struct TUncheckedRow {
  std::string Caption, Value;
};
std::vector<TUncheckedRow> UncheckedRows(const TRunEndFacts& facts);

// The second line of the end box and of the notice; empty when every item
// was reached and some file was checked.
std::string UncheckedSentence(const TRunEndFacts& facts);

// The end box: "校验完成.", and under it what was not checked.
std::string EndBoxText(const TRunEndFacts& facts);
