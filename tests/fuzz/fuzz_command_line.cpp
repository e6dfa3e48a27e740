// The switch parser and korvane-cli's long options on arbitrary words (the
// input cut at NUL bytes), against a plain model of the switch states.
#include <optional>

#include "CliOptions.h"
#include "CommandLine.h"
#include "FuzzSupport.h"
#include "IntegerText.h"

namespace {

struct TModel {
  bool AllFileAttributes = true, AllSubdirectories = false, PositionError = false, ShowHelp = false;
  std::int32_t ReadUnit = 77;
  std::vector<std::string> Items;
  std::size_t Errors = 0;

  // The state of an A or S switch from the character after its letter.
  bool State(const std::string& text) {
    if (text.size() < 2 || text[1] == '+') return true;
    if (text[1] != '-') ++Errors;
    return text[1] == '-' ? false : true;
  }

  void Apply(const std::string& word) {
    if (word.empty()) return;
    if (word[0] != '-') {
      Items.push_back(word);
      return;
    }
    const std::string text = word.substr(1);
    const char letter = text.empty() ? '\0' : text[0];
    if (letter == 'a' || letter == 'A') AllFileAttributes = State(text);
    else if (letter == 's' || letter == 'S') AllSubdirectories = State(text);
    else if (letter == 'p' || letter == 'P') ReadUnitSwitch(text.substr(1));
    else if (letter == 'h' || letter == 'H' || letter == '?') ShowHelp = true;
    else if (text.empty() || std::string_view("bcelnrwBCELNRW").find(letter) == std::string::npos) ++Errors;
  }

  void ReadUnitSwitch(const std::string& rest) {
    if (rest.empty()) return;
    PositionError = rest[0] != '-';
    if (rest[0] == '-') return;
    if (const auto unit = StrToInt32(rest)) {
      ReadUnit = *unit;
    } else {
      ++Errors;
      PositionError = false;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> words = SplitAtNul(AsText(data, size));
  // The long options come off first, as korvane-cli takes them.
  const TCliArguments args = SplitArguments(words);
  for (const std::string& word : args.Parameters) FUZZ_CHECK(!word.empty() && !word.starts_with("--"));

  static TVerifySetupInfo setup("/nonexistent/KORVANE.INI");
  setup.VerifyList.clear();
  setup.AllFileAttributes = true;
  setup.AllSubdirectories = setup.PositionError = setup.ShowHelp = false;
  setup.ReadUnit = 77;
  TModel model;
  std::vector<std::string> errors;
  ParseCommandLine(args.Parameters, setup, [&](const std::string& text) { errors.push_back(text); });
  for (const std::string& word : args.Parameters) model.Apply(word);

  FUZZ_CHECK(setup.AllFileAttributes == model.AllFileAttributes);
  FUZZ_CHECK(setup.AllSubdirectories == model.AllSubdirectories);
  FUZZ_CHECK(setup.PositionError == model.PositionError);
  FUZZ_CHECK(setup.ShowHelp == model.ShowHelp);
  FUZZ_CHECK(setup.ReadUnit == model.ReadUnit);
  FUZZ_CHECK(setup.VerifyList == model.Items);
  FUZZ_CHECK(errors.size() == model.Errors);
  for (const std::string& text : errors)
    FUZZ_CHECK(text.starts_with("命令行参数 -") && text.ends_with(" 错误."));
  return 0;
}
