#include "ProgramInfo.h"

#include <cstdio>

#include "CommandLine.h"
#include "OpenItems.h"
#include "VersionInfo.h"

std::string WindowProgramUsage() {
  std::string text;
  for (const TCommandLineHelpLine& line : CommandLineHelpLines)
    text += line.Right ? "  " + std::string(line.Left) + "  " + line.Right + "\n" : std::string(line.Left) + "\n";
  text +=
      "\n长选项:\n"
      "  --help         显示本帮助并退出\n"
      "  --version      显示版本信息并退出\n"
      "  --open 路径... 其后的参数都是路径, 如同文件管理器打开它们: 目录校验\n"
      "                 其中的所有文件 (目录/*.*), 文件只校验它本身\n"
      "\n不开窗口的校验见 korvane-cli --help.\n";
  return text;
}

std::optional<int> AnswerInfoSwitches(const TStringList& arguments) {
  for (const std::string& word : SplitOpenArguments(arguments).Parameters) {
    if (word != "--help" && word != "--version") continue;
    const std::string text = word == "--help" ? WindowProgramUsage() : VersionBanner();
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  return std::nullopt;
}
