// korvane-cli on a drive whose every read takes 150 ms (a network mount, a
// worn stick, an optical disc), served by the project's FUSE test file
// system: four files of 1 MiB with a 1 KiB read unit against no error
// position. A slow answer is no reason to read in small pieces.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "BenchUtil.h"

namespace {

const std::string Cli = KORVANE_CLI_PATH;
const std::string TestFs = KORVANE_TESTFS_PATH;

// The test file system on mountPoint for as long as this lives.
class TSlowDrive {
 public:
  explicit TSlowDrive(const std::string& scratch) : Dir(scratch + "/korvane-bench-slow") {
    Shell("rm -rf '" + Dir + "' && mkdir -p '" + Dir + "/mnt'");
    std::string layout;
    for (const char* name : {"a", "b", "c", "d"})
      layout += std::string("file path=d/") + name + ".bin size=1048576 delay_ms=150\n";
    Shell("printf '" + layout + "' > '" + Dir + "/layout'");
    Child = fork();
    if (Child == 0) {
      execl(TestFs.c_str(), TestFs.c_str(), "--layout", (Dir + "/layout").c_str(),
            (Dir + "/mnt").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && access((Dir + "/mnt/d").c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~TSlowDrive() {
    Shell("fusermount3 -u '" + Dir + "/mnt'");
    kill(Child, SIGTERM);
    waitpid(Child, nullptr, 0);
    Shell("rm -rf '" + Dir + "'");
  }
  std::string Files() const { return Dir + "/mnt/d"; }

 private:
  std::string Dir;
  pid_t Child = -1;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string scratch = argc > 1 ? argv[1] : "/tmp";
  TSlowDrive drive(scratch);
  const auto run = [&](const std::string& unit) {
    return "'" + Cli + "' -P" + unit + " '" + drive.Files() + "' > /dev/null 2>&1";
  };
  const auto [seconds, baseline] = BestOf(3, [&] { Shell(run("1024")); }, [&] { Shell(run("-")); });
  return ReportRatio("korvane-cli -P1024 4 x 1 MiB at 150 ms a read vs -P-", seconds, baseline, 1.3)
             ? 0
             : 1;
}
