// korvane-cli --report: every report made here is checked against the
// shipped schema, and holds what the log holds.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "CliProcess.h"
#include "Locale.h"
#include "ReportCheck.h"
#include "TempDir.h"
#include "TestFs.h"

using Json = nlohmann::json;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

// What the log says of each file: its name line, then its failure and
// code lines when it failed.
struct TLoggedFile {
  std::string Name;
  std::string Failure;
  std::string Code;
};

std::vector<TLoggedFile> LoggedFiles(const std::string& log) {
  std::vector<TLoggedFile> files;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("   文件'")) files.push_back({line.substr(10, line.size() - 12), "", ""});
    else if (line.starts_with("     文件错误代码e=")) files.back().Code = line.substr(line.find('=') + 1);
    else if (!files.empty() && line.starts_with("     ") && !line.starts_with("     长度") &&
             line != "     文件正确." && files.back().Failure.empty())
      files.back().Failure = line.substr(5);
    else if (line.starts_with("----")) break;  // the error list follows
  }
  return files;
}

std::int64_t LoggedCount(const std::string& log, const std::string& label) {
  const auto at = log.find(label);
  std::string digits;
  for (std::size_t i = at + label.size(); i < log.size() && log[i] != '\n'; ++i)
    if (log[i] >= '0' && log[i] <= '9') digits += log[i];
  return std::stoll(digits);
}

}  // namespace

TEST(Report, MixedRunValidatesAndHoldsWhatTheLogHolds) {
  TTestFs fs({{.Path = "good.bin", .Size = 5000},
              {.Path = "bad.bin", .Size = 5000, .ErrorAt = 2100},
              {.Path = "locked.bin", .Size = 300, .DenyOpen = true},
              {.Path = "short.bin", .Size = 5000, .ActualSize = 3000},
              {.Path = "scratched.bin", .Size = 8192, .BadRanges = {{1000, 1100}, {6000, 6001}}},
              {.Path = "sub/odd\xFF.bin", .Size = 10},
              {.Path = "sub/deeper/empty.bin", .Size = 0}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string report = dir.PathOf("run.jsonl");
  const TCliResult result =
      RunCli({"--report=" + report, "--all-errors", "-S", "-P512", fs.Root() + "/*.*"});
  ASSERT_EQ(result.ExitCode, 1) << result.Err;
  const std::vector<Json> objects = ValidReport(report);
  ASSERT_FALSE(objects.empty());
  EXPECT_EQ(objects.front()["options"]["read_unit"], 512);
  EXPECT_EQ(objects.front()["mounts"][0]["mount_point"], fs.Root());

  const std::vector<Json> files = OfType(objects, "file");
  const std::vector<TLoggedFile> logged = LoggedFiles(result.Out);
  ASSERT_EQ(files.size(), logged.size()) << result.Out;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Json& file = files[i];
    const std::string path = file["path"];
    EXPECT_TRUE(path.ends_with(logged[i].Name) || file.contains("path_b64")) << path;
    EXPECT_EQ(file.contains("error"), !logged[i].Code.empty()) << path;
    if (!file.contains("error")) continue;
    EXPECT_EQ(std::to_string(file["error"]["code"].get<int>()), logged[i].Code) << path;
    if (file["outcome"] == "read_error" && file["error"]["code"] != 0) {
      const std::int64_t offset = file["error"]["offset"];
      EXPECT_NE(logged[i].Failure.find("在" + Platform::FormatCount(offset) + "字节处"),
                std::string::npos)
          << path << ": " << logged[i].Failure;
    }
  }
  const Json summary = objects.back();
  EXPECT_EQ(summary["files"], LoggedCount(result.Out, "总计校验文件数"));
  EXPECT_EQ(summary["ok"], LoggedCount(result.Out, "总计正确文件数"));
  EXPECT_EQ(summary["errors"], LoggedCount(result.Out, "总计错误文件数"));
  EXPECT_EQ(summary["bytes"], LoggedCount(result.Out, "总计字节数"));
  EXPECT_EQ(summary["interrupted"], false);
  EXPECT_EQ(summary["exit_status"], 1);

  // Beyond the log: every bad range, and the bytes of a name that is not UTF-8.
  for (const Json& file : files) {
    const std::string path = file["path"];
    if (path.ends_with("scratched.bin")) {
      EXPECT_EQ(file["bad_ranges"], Json::parse(R"([{"offset":512,"length":1024,"code":5},
                                                    {"offset":5632,"length":512,"code":5}])"));
      // Only what came back: the failed units are no bytes read.
      EXPECT_EQ(file["bytes_read"], 8192 - 1024 - 512);
    }
    if (path.find("odd") != std::string::npos) {
      EXPECT_EQ(FromBase64(file["path_b64"].get<std::string>()), fs.PathOf("sub/odd\xFF.bin")) << path;
    }
  }
}

TEST(Report, InterruptedRunStillEndsWithItsSummary) {
  TTestFs fs({{.Path = "a.bin", .Size = 2048},
              {.Path = "slow.bin", .Size = 64 * 1024, .DelayMs = 200}});
  KORVANE_REQUIRE_FUSE(fs);
  TTempDir dir;
  const std::string report = dir.PathOf("run.jsonl");
  for (const int signal : {SIGINT, SIGTERM}) {
    TCliProcess cli({"--report=" + report, "-P1024", fs.Root() + "/*.*"});
    while (!cli.HasOpen(fs.PathOf("slow.bin"))) std::this_thread::sleep_for(5ms);
    // The finished file is in the report while the run goes on.
    std::string first;
    for (int wait = 0; wait < 200 && first.empty(); ++wait) {
      std::this_thread::sleep_for(10ms);
      std::ifstream partial(report);
      std::getline(partial, first);
      std::getline(partial, first);
    }
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(Json::parse(first)["outcome"], "ok") << first;
    kill(cli.Pid(), signal);
    const TCliResult result = cli.Finish();
    EXPECT_EQ(result.ExitCode, 130) << signal;
    const std::vector<Json> objects = ValidReport(report);
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects.back()["interrupted"], true);
    EXPECT_EQ(objects.back()["exit_status"], 130);
    EXPECT_EQ(objects[objects.size() - 2]["outcome"], "stopped");
  }
}
