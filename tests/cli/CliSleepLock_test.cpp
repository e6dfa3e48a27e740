// korvane-cli keeps the machine awake while it reads, unless told not to.
// Run by the korvane_cli_sleep_lock test under tests/support/with-bus.sh.
#include <gtest/gtest.h>

#include "BusRecord.h"
#include "CliProcess.h"
#include "TempDir.h"

namespace {

const std::string Taken = "Inhibit sleep Korvane 校验文件 block";
const std::string Released = "Released sleep";

}  // namespace

TEST(CliSleepLock, HeldForTheRunAndReleasedUnlessOptedOut) {
  KORVANE_REQUIRE_BUS();
  TTempDir dir;
  dir.WriteFile("a", std::string(5000, 'a'));
  const struct {
    std::vector<std::string> Arguments;
    int Locks;
  } cases[] = {
      {{dir.PathOf("a")}, 1},
      {{"--no-inhibit", dir.PathOf("a")}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Arguments.front());
    const int taken = BusRecordCount(Taken), released = BusRecordCount(Released);
    const TCliResult result = RunCli(c.Arguments);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(BusRecordCount(Taken), taken + c.Locks);
    // The lock goes with the program's end at the latest.
    EXPECT_TRUE(WaitForBusRecord([&] { return BusRecordCount(Released) == released + c.Locks; }));
  }
}
