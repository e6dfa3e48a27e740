#include <gtest/gtest.h>

#include "CommandLine.h"
#include "TempDir.h"

using Lines = std::vector<std::string>;

namespace {

// The settings every case starts from: chosen so that each switch's effect,
// and a switch that must change nothing, can be seen.
struct TOptions {
  bool AllFileAttributes = true;
  bool AllSubdirectories = false;
  bool PositionError = true;
  std::int32_t ReadUnit = 777;
  bool ShowHelp = false;
  Lines VerifyList = {"first"};

  bool operator==(const TOptions&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TOptions& o) {
  out << "A=" << o.AllFileAttributes << " S=" << o.AllSubdirectories << " PE=" << o.PositionError
      << " unit=" << o.ReadUnit << " help=" << o.ShowHelp << " items=";
  for (const auto& item : o.VerifyList) out << "[" << item << "]";
  return out;
}

struct TCase {
  Lines Parameters;
  TOptions Expected;
  Lines Errors = {};
};

TOptions With(auto change) {
  TOptions options;
  change(options);
  return options;
}

std::string Error(const std::string& parameter) { return "命令行参数 " + parameter + " 错误."; }

const TCase Cases[] = {
    {{}, {}},
    {{"-a-"}, With([](auto& o) { o.AllFileAttributes = false; })},
    {{"-A-"}, With([](auto& o) { o.AllFileAttributes = false; })},
    {{"-S"}, With([](auto& o) { o.AllSubdirectories = true; })},
    {{"-s+"}, With([](auto& o) { o.AllSubdirectories = true; })},
    {{"-S", "-S-", "-S"}, With([](auto& o) { o.AllSubdirectories = true; })},
    {{"-S", "-S-x"}, {}},
    {{"-Sx"}, With([](auto& o) { o.AllSubdirectories = true; }), {Error("-Sx")}},
    {{"-a-", "-aq"}, {}, {Error("-aq")}},
    {{"-P2048"}, With([](auto& o) { o.ReadUnit = 2048; })},
    {{"-P-", "-p512"}, With([](auto& o) { o.ReadUnit = 512; })},
    {{"-P- 12"}, With([](auto& o) { o.PositionError = false; })},
    {{"-P-", "-P"}, With([](auto& o) { o.PositionError = false; })},
    {{"-P"}, {}},
    {{"-P-"}, With([](auto& o) { o.PositionError = false; })},
    {{"-P-512"}, With([](auto& o) { o.PositionError = false; })},
    {{"-P+"}, With([](auto& o) { o.PositionError = false; }), {Error("-P+")}},
    {{"-P1k"}, With([](auto& o) { o.PositionError = false; }), {Error("-P1k")}},
    {{"-p1k"}, With([](auto& o) { o.PositionError = false; }), {Error("-P1k")}},
    {{"-P99999999999"}, With([](auto& o) { o.PositionError = false; }), {Error("-P99999999999")}},
    {{"-P-", "-P$400"}, With([](auto& o) { o.ReadUnit = 1024; })},
    {{"-P  64"}, With([](auto& o) { o.ReadUnit = 64; })},
    // Any 32-bit value is taken; the run refuses what it cannot use.
    {{"-P0"}, With([](auto& o) { o.ReadUnit = 0; })},
    {{"-P2000000"}, With([](auto& o) { o.ReadUnit = 2000000; })},
    {{"-BT", "-B", "-W+", "-Next", "-c", "-E", "-l", "-r"}, {}},
    {{"-H-"}, With([](auto& o) { o.ShowHelp = true; })},
    {{"-?"}, With([](auto& o) { o.ShowHelp = true; })},
    {{"-h", "-S"}, With([](auto& o) { o.ShowHelp = o.AllSubdirectories = true; })},
    {{"/home/x/*.*", "/*.*", "/H"}, With([](auto& o) {
       o.VerifyList = {"first", "/home/x/*.*", "/*.*", "/H"};
     })},
    {{"-data.txt"}, {}, {Error("-data.txt")}},
    {{"b", "a b", "b", "-S", "a"}, With([](auto& o) {
       o.AllSubdirectories = true;
       o.VerifyList = {"first", "b", "a b", "b", "a"};
     })},
    {{"", "x", ""}, With([](auto& o) { o.VerifyList = {"first", "x"}; })},
    {{"-"}, {}, {Error("-")}},
    {{"-x", "-S", "-é", "-Q+", "y"}, With([](auto& o) {
       o.AllSubdirectories = true;
       o.VerifyList = {"first", "y"};
     }),
     {Error("-x"), Error("-é"), Error("-Q+")}},
};

}  // namespace

TEST(CommandLine, EachCaseLeavesItsOptionsItemsAndErrors) {
  TTempDir dir;
  for (const TCase& c : Cases) {
    TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
    const TOptions start;
    setup.AllFileAttributes = start.AllFileAttributes;
    setup.AllSubdirectories = start.AllSubdirectories;
    setup.PositionError = start.PositionError;
    setup.ReadUnit = start.ReadUnit;
    setup.VerifyList = start.VerifyList;
    Lines errors;
    ParseCommandLine(c.Parameters, setup, [&](const std::string& text) { errors.push_back(text); });
    const TOptions got{setup.AllFileAttributes, setup.AllSubdirectories, setup.PositionError,
                       setup.ReadUnit,          setup.ShowHelp,          setup.VerifyList};
    std::string label;
    for (const auto& p : c.Parameters) label += "[" + p + "]";
    EXPECT_EQ(got, c.Expected) << label;
    EXPECT_EQ(errors, c.Errors) << label;
  }
}

TEST(CommandLine, ErrorsWithoutAHandlerAreDroppedAndParsingGoesOn) {
  TTempDir dir;
  TVerifySetupInfo setup(dir.PathOf("KORVANE.INI"));
  setup.AllSubdirectories = false;
  ParseCommandLine({"-x", "-S", "item"}, setup, nullptr);
  EXPECT_TRUE(setup.AllSubdirectories);
  EXPECT_EQ(setup.VerifyList, Lines{"item"});
}
