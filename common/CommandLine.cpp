#include "CommandLine.h"

#include "IntegerText.h"

namespace {

// Only a to z have a case; anything else is compared as it is.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsParameter(std::string_view switchText) {
  return SwitchChar + std::string(switchText);
}

// The text after the P: nothing changes the bare switch, "-" turns the error
// position off and keeps the unit, anything else must be the unit.
void ParseReadUnit(std::string_view unitText, TVerifySetupInfo& setup,
                   const TParameterErrorHandler& onError) {
  if (unitText.empty()) return;
  if (unitText.front() == '-') {
    setup.PositionError = false;
    return;
  }
  setup.PositionError = true;
  if (const auto unit = StrToInt32(unitText)) {
    // Any 32-bit value is taken here; a run refuses one outside 1..1048576.
    setup.ReadUnit = *unit;
    return;
  }
  // The box names the switch with an upper-case P whatever was typed.
  ShowParameterError(AsParameter("P" + std::string(unitText)), onError);
  setup.PositionError = false;
}

}  // namespace

std::string ParameterErrorText(std::string_view parameter) {
  return "命令行参数 " + std::string(parameter) + " 错误.";
}

void ShowParameterError(std::string_view parameter, const TParameterErrorHandler& onError) {
  if (onError) onError(ParameterErrorText(parameter));
}

void ParseCommandLine(const std::vector<std::string>& parameters, TVerifySetupInfo& setup,
                      const TParameterErrorHandler& onError) {
  for (const std::string& parameter : parameters) {
    if (!parameter.empty()) ParseParameter(parameter, setup, onError);
  }
}

void ParseParameter(std::string_view parameter, TVerifySetupInfo& setup,
                    const TParameterErrorHandler& onError) {
  if (!parameter.empty() && parameter.front() == SwitchChar) {
    ParseSwitch(parameter.substr(1), setup, onError);
  } else {
    AddVerifyItem(parameter, setup);
  }
}

void ParseSwitch(std::string_view switchText, TVerifySetupInfo& setup,
                 const TParameterErrorHandler& onError) {
  if (switchText.empty()) {
    ShowParameterError(AsParameter(switchText), onError);
    return;
  }
  switch (UpperAscii(switchText.front())) {
    case 'A': setup.AllFileAttributes = SwitchState(switchText, onError); break;
    case 'S': setup.AllSubdirectories = SwitchState(switchText, onError); break;
    case 'P': ParseReadUnit(switchText.substr(1), setup, onError); break;
    case 'H':
    case '?': setup.ShowHelp = true; break;
    // Accepted and ignored, whatever follows the letter, so that command
    // lines written for QLX 2.6 still work.
    case 'B':
    case 'C':
    case 'E':
    case 'L':
    case 'N':
    case 'R':
    case 'W': break;
    default: ShowParameterError(AsParameter(switchText), onError);
  }
}

bool SwitchState(std::string_view switchText, const TParameterErrorHandler& onError) {
  if (switchText.size() < 2 || switchText[1] == '+') return true;
  if (switchText[1] == '-') return false;
  ShowParameterError(AsParameter(switchText), onError);
  return true;
}

void AddVerifyItem(std::string_view item, TVerifySetupInfo& setup) {
  setup.VerifyList.emplace_back(item);
}

const TCommandLineHelpLine CommandLineHelpLines[CommandLineHelpLineCount] = {
    {"本程序可以使用命令行参数, 命令行格式如下:", nullptr},
    {"Korvane [选项...] [文件名...]", nullptr},
    {"选项(选项后加上'+'表示允许,加上'-'表示禁止,字母大小写相同含义):", nullptr},
    {"-A", "包含所有文件属性"},
    {"-P<读取单位>", "指示错误位置,并指定读取单位,读取单位为 1 至 1048576"},
    {"-S", "包含所有子目录"},
    {"-H 或 -?", "显示本窗口"},
    {"-B, -BT, -C, -E, -L, -N, -R, -W", "忽略这些参数,用于和 QLX 2.6 版兼容"},
    {"所有的选项和文件名之间必须用空格分割开,如果使用长文件名,则必须在文件名上加上双引号.",
     nullptr},
};
