#pragma once
// What bus-recorder.py, the stand-in desktop services of with-bus.sh, has
// recorded: one line per call it got.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Whether the test runs under with-bus.sh.
bool BusRecordAvailable();
// Every line recorded so far.
std::vector<std::string> BusRecordLines();
// How many recorded lines are exactly this one.
int BusRecordCount(const std::string& line);
// Waits up to ms for condition, reading the record afresh each time.
bool WaitForBusRecord(const std::function<bool()>& condition, int ms = 5000);

// At the start of a test that needs the private bus: skips it elsewhere,
// fails it on CI.
#define KORVANE_REQUIRE_BUS()                                                         \
  do {                                                                                \
    if (!BusRecordAvailable()) {                                                      \
      if (std::string(getenv("CI") ? getenv("CI") : "") == "true")                   \
        FAIL() << "no private bus; run through tests/support/with-bus.sh";            \
      GTEST_SKIP() << "no private bus; tests/support/with-bus.sh provides one";       \
    }                                                                                 \
  } while (false)
