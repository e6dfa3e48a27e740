#pragma once
// The one order names are listed in: the selection dialog's file list, and
// every walk of a run (the worker's, the read-ahead helper's, the counting
// walk's). Alphabetical with letter case ignored, Unicode's case folding
// for every script; names that fold alike follow their bytes, so that the
// order is total and the same on every run, whatever order the file
// system lists a directory in.
#include <string_view>

namespace Platform {

// Negative, 0 or positive as a comes before, is, or comes after b. A byte
// outside a valid UTF-8 sequence folds as U+FFFD, the mark it is shown as.
int CompareNames(std::string_view a, std::string_view b);

inline bool NameBefore(std::string_view a, std::string_view b) { return CompareNames(a, b) < 0; }

}  // namespace Platform
