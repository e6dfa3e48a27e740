#pragma once
// The command line: switches that override the settings file and items that
// pre-fill the list of a run. The shell has already split the words and
// removed the quotes, so the parser works on the program's arguments.
//
// Switches begin with '-' only: an absolute path begins with '/', so a word
// such as "/home/me/*.*" must be an item. Letters match without regard to
// case; "+" after A or S turns the option on, "-" turns it off.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "VerifySetupInfo.h"

inline constexpr char SwitchChar = '-';

// Shows one bad parameter's text to the user: the window program in a
// warning box, the command-line program on standard error. Parsing goes on
// after it returns.
using TParameterErrorHandler = std::function<void(const std::string& text)>;

// "命令行参数 " + parameter + " 错误."
std::string ParameterErrorText(std::string_view parameter);
void ShowParameterError(std::string_view parameter, const TParameterErrorHandler& onError);

// Applies the parameters (the arguments after the program's name) to setup
// in order, so a later switch overrides an earlier one. Empty arguments are
// skipped. Takes no lock: it runs before any worker exists.
void ParseCommandLine(const std::vector<std::string>& parameters, TVerifySetupInfo& setup,
                      const TParameterErrorHandler& onError);

// One parameter: a switch when it begins with '-', otherwise an item.
void ParseParameter(std::string_view parameter, TVerifySetupInfo& setup,
                    const TParameterErrorHandler& onError);

// A switch without its leading '-'.
void ParseSwitch(std::string_view switchText, TVerifySetupInfo& setup,
                 const TParameterErrorHandler& onError);

// The state an A or S switch asks for, decided by the character after the
// letter: none or '+' on, '-' off, anything else on with an error shown.
bool SwitchState(std::string_view switchText, const TParameterErrorHandler& onError);

// Appends an item to the list unchanged; items are checked by the run.
void AddVerifyItem(std::string_view item, TVerifySetupInfo& setup);

// The fixed help text of the command line: a left column, and a right
// column (the switch's meaning) or null.
struct TCommandLineHelpLine {
  const char* Left;
  const char* Right;
};
inline constexpr int CommandLineHelpLineCount = 9;
extern const TCommandLineHelpLine CommandLineHelpLines[CommandLineHelpLineCount];
