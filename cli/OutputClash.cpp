#include "OutputClash.h"

#include <vector>

#include "FilePlace.h"

namespace {

struct TNamedFile {
  std::string Option;
  std::string Name;
  Platform::TFilePlace Place;
};

void Add(std::vector<TNamedFile>& files, std::string option, const std::optional<std::string>& name) {
  if (name) files.push_back({std::move(option), *name, Platform::PlaceOf(*name)});
}

std::string Clash(const TNamedFile& first, const TNamedFile& second) {
  return first.Option + " 与 " + second.Option + " 是同一个文件'" + second.Name +
         "', 校验未开始 (以免一个覆盖另一个).";
}

}  // namespace

std::optional<std::string> OutputClash(const TCliArguments& args) {
  std::vector<TNamedFile> written;
  Add(written, "--log", args.LogFile ? args.LogFile : std::optional<std::string>("/dev/stdout"));
  if (!args.LogFile) written.back().Option = "标准输出 (校验记录)";
  Add(written, "--report", args.ReportFile);
  Add(written, "--resume", args.ResumeFile);
  Add(written, "--make-sums", args.MakeSums);
  for (std::size_t i = 0; i < written.size(); ++i) {
    for (std::size_t k = i + 1; k < written.size(); ++k)
      if (Platform::SamePlace(written[i].Place, written[k].Place)) return Clash(written[i], written[k]);
  }
  std::vector<TNamedFile> read;
  for (const std::string& manifest : args.CheckSums) Add(read, "--check-sums", manifest);
  Add(read, "--recheck", args.RecheckFile);
  for (const TNamedFile& output : written) {
    for (const TNamedFile& input : read)
      if (Platform::SamePlace(output.Place, input.Place)) return Clash(output, input);
  }
  return std::nullopt;
}
