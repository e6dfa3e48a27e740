#include "CliOptions.h"

#include <charconv>
#include <string_view>

#include "CommandLine.h"
#include "OpenItems.h"
#include "Path.h"
#include "TerminalText.h"
#include "VersionInfo.h"

namespace {

// Wide enough for every switch but the list of ignored ones, whose meaning
// then follows it directly, as in the window program's help.
constexpr std::size_t SwitchColumn = 12;

void TakeFlag(std::string_view name, std::optional<std::string_view> value, bool& flag,
              TStringList& errors) {
  if (value) errors.push_back("选项 '--" + std::string(name) + "' 不允许有参数");
  else flag = true;
}

// "--NAME=VALUE" or "--NAME VALUE". The next word is taken whatever it is,
// so an empty one (an unset shell variable) is a missing value, as after
// "--NAME=".
std::optional<std::string> TakeValue(const TStringList& arguments, std::size_t& i,
                                     std::string_view name, std::optional<std::string_view> value,
                                     TStringList& errors, std::string_view what = "一个参数") {
  if (!value && i + 1 < arguments.size()) value = arguments[++i];
  if (value && !value->empty()) return std::string(*value);
  errors.push_back("选项 '--" + std::string(name) + "' 需要" + std::string(what));
  return std::nullopt;
}

// The options of checksum files; false for a name that is none of them.
bool TakeSumsOption(const TStringList& arguments, std::size_t& i, std::string_view name,
                    std::optional<std::string_view> value, TCliArguments& result) {
  if (name != "check-sums" && name != "make-sums" && name != "sum-type") return false;
  auto taken = TakeValue(arguments, i, name, value, result.Errors);
  if (!taken) return true;
  if (name == "check-sums") result.CheckSums.push_back(std::move(*taken));
  else if (name == "make-sums") result.MakeSums = std::move(taken);
  else result.SumType = std::move(taken);
  return true;
}

// The options that take a count of milliseconds or seconds; false for a
// name that is none of them.
bool TakeNumberOption(const TStringList& arguments, std::size_t& i, std::string_view name,
                      std::optional<std::string_view> value, TCliArguments& result) {
  int* target = name == "slow"      ? &result.SlowMs
                : name == "timeout" ? &result.TimeoutSeconds
                : name == "tries"   ? &result.Tries
                                    : nullptr;
  if (target == nullptr) return false;
  const auto taken = TakeValue(arguments, i, name, value, result.Errors, "一个正整数");
  if (!taken) return true;
  int number = 0;
  const char* end = taken->data() + taken->size();
  const auto [stop, error] = std::from_chars(taken->data(), end, number);
  if (error != std::errc() || stop != end || number <= 0)
    result.Errors.push_back("选项 '--" + std::string(name) + "' 需要一个正整数, 而不是 '" + *taken + "'");
  else
    *target = number;
  return true;
}

// Handles argument i, a word beginning with "--"; may consume the next one.
void TakeLongOption(const TStringList& arguments, std::size_t& i, TCliArguments& result) {
  const std::string_view word = std::string_view(arguments[i]).substr(2);
  const auto equals = word.find('=');
  const std::string_view name = word.substr(0, equals);
  std::optional<std::string_view> value;
  if (equals != std::string_view::npos) value = word.substr(equals + 1);
  if (name == "help") TakeFlag(name, value, result.Help, result.Errors);
  else if (name == "version") TakeFlag(name, value, result.Version, result.Errors);
  else if (name == "quiet") TakeFlag(name, value, result.Quiet, result.Errors);
  else if (name == "cached") TakeFlag(name, value, result.Cached, result.Errors);
  else if (name == "no-inhibit") TakeFlag(name, value, result.NoInhibit, result.Errors);
  else if (name == "all-errors") TakeFlag(name, value, result.AllErrors, result.Errors);
  else if (name == "verbose") TakeFlag(name, value, result.Verbose, result.Errors);
  else if (TakeSumsOption(arguments, i, name, value, result)) {}
  else if (name == "report" || name == "resume" || name == "recheck") {
    if (auto file = TakeValue(arguments, i, name, value, result.Errors, "一个文件名"))
      (name == "report" ? result.ReportFile
       : name == "resume" ? result.ResumeFile
                          : result.RecheckFile) = std::move(file);
  }
  else if (TakeNumberOption(arguments, i, name, value, result)) {}
  else if (name != "log") result.Errors.push_back("无法识别的选项 '" + arguments[i] + "'");
  else if (auto file = TakeValue(arguments, i, name, value, result.Errors, "一个文件名"))
    result.LogFile = std::move(file);
}

}  // namespace

TCliArguments SplitArguments(const TStringList& arguments) {
  TCliArguments result;
  bool literal = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word.empty()) continue;
    if (literal) result.LiteralItems.push_back(word);
    else if (word == "--") literal = true;
    else if (IsOpenOption(word)) {
      const TStringList rest(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());
      result.OpenPaths = SplitOpenArguments(rest).Paths;
      break;
    }
    else if (word.starts_with("--")) TakeLongOption(arguments, i, result);
    else result.Parameters.push_back(word);
  }
  return result;
}

void AddOpenedPaths(const TStringList& paths, TVerifySetupInfo& setup) {
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const std::string item = OpenedItem(path);
    if (item == path) setup.LiteralItems.insert(item);
    setup.VerifyList.push_back(item);
  }
}

std::string UsageText() {
  std::string text = "用法: " + std::string(ProgramName) + " [长选项...] [选项...] [文件名...]\n";
  text += "不开窗口校验文件: 读出每个文件的全部字节, 报告不能打开或不能读的文件.\n\n";
  for (const auto& line : CommandLineHelpLines) {
    if (line.Right) text += "  " + PadToWidth(line.Left, SwitchColumn) + "  " + line.Right;
    else text += line.Left;
    text += '\n';
  }
  text +=
      "\n长选项:\n"
      "  --help        显示本帮助并退出\n"
      "  --version     显示版本信息并退出\n"
      "  --log=文件    把校验记录存入文件 (GB18030 编码, 每行以 CR LF 结束),\n"
      "                不写到标准输出\n"
      "  --report=文件 把每个文件的结果按 JSON Lines 写入文件, 随校验进行写出\n"
      "                (格式见 report.md)\n"
      "  --resume=状态文件\n"
      "                可中断后继续的校验: 记下已校验的文件; 再次以同样的文件名\n"
      "                和选项执行时, 不再读取未改动的已校验文件, 记录和报告与\n"
      "                未中断的校验相同. 校验完成后删除状态文件 (有目录不能搜索\n"
      "                或文件名不存在时保留); 同一状态文件不能同时用于两次校验\n"
      "  --quiet       不显示进度\n"
      "  --cached      允许从系统缓存读取数据: 较快, 但只证明数据在内存中,\n"
      "                不证明介质能读出 (刚复制的文件仍在缓存中)\n"
      "  --check-sums=校验和文件\n"
      "                校验所列文件的内容 (可多次给出): GNU (sha256sum 等), BSD,\n"
      "                .sfv 与 hashdeep 格式; 未给文件名时只校验所列文件\n"
      "  --make-sums=校验和文件\n"
      "                把读出正确的文件的校验和写入该文件 (按文件名定格式:\n"
      "                *.md5/md5sum.txt, *.sha1, *.sha512, *.sfv, *.b2/B2SUMS,\n"
      "                其他 SHA-256)\n"
      "  --sum-type=类型\n"
      "                --make-sums 的算法: md5, sha1, sha256, sha512, xxh128, crc32,\n"
      "                blake2b\n"
      "  --no-inhibit  校验时允许系统休眠 (默认阻止休眠)\n"
      "  --all-errors  读错误后继续读到文件末尾, 在标准错误上列出每个坏区\n"
      "                (记录中仍只写第一个错误)\n"
      "  --slow=毫秒   读取一次用时超过此值 (默认 1000) 的区域在标准错误上列为慢区;\n"
      "                慢区不算错误\n"
      "  --timeout=秒  一次读取或打开停滞超过此值时, 该文件记为错误 (e=110 读取超时),\n"
      "                继续校验下一个文件 (默认不限时: 慢的介质也许还能读出)\n"
      "  --recheck=报告\n"
      "                只重读以前的报告 (--report) 中不能打开或不能读的文件,\n"
      "                每个读 --tries 次 (默认 3), 每次之间关闭文件并丢弃其缓存;\n"
      "                在标准错误上为每个文件写出: 持续错误 (每次都在同一位置失败,\n"
      "                是介质损坏), 间歇性错误 (有时失败: 线缆, 控制器) 或已恢复.\n"
      "                记录中是第一次读取的结果. 内容不符的文件只在标准错误上列出\n"
      "                (读出不能证明内容正确, 用 --check-sums 再次校验). 不打开其他文件\n"
      "  --tries=次数  --recheck 读取每个文件的次数 (至多 100)\n"
      "  --verbose     结束时另外列出读取用时的分布\n"
      "  --            其后的参数都是文件名, 即使以 '-' 开头\n"
      "  --open 路径...\n"
      "                其后的参数都是路径 (即使以 '-' 开头), 如同文件管理器打开\n"
      "                它们: 目录校验其中的所有文件 (目录/*.*), 文件只校验它本身\n"
      "                (不论 -S, 名字中的 * 和 ? 也是普通字符)\n"
      "\n不含通配符的文件名: 若是目录, 校验其中的所有文件 (目录/*.*); 若不存在,\n"
      "是错误. 设备文件, 管道和套接字从不打开, 记为长度 0 的正确文件.\n"
      "\n设置文件: " + GetIniFileName() + ", 命令行选项覆盖它.\n"
      "退出状态: 0 所有文件正确, 1 有文件不能打开或不能读, 或内容与校验和不符,\n"
      "          或有目录不能搜索, 或有文件名不存在 (在标准错误上列出), 或 --recheck\n"
      "          有持续或间歇性错误, 2 用法错误或校验记录、校验和文件不能读写, 或程序的\n"
      "          两个文件 (记录, 报告, 状态, 校验和文件) 是同一个文件,\n"
      "          3 没有匹配的文件, 130 被用户中止, 129 终端被关闭,\n"
      "          141 读取校验记录的管道被关闭 (如 | head; 报告和状态文件仍写完).\n";
  return text;
}

