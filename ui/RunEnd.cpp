#include "RunEnd.h"

#include "Locale.h"

TRunEndFacts RunEndFacts(const TVerifyStatus& status) {
  return {.FilesChecked = std::int64_t{status.FilesOk} + status.FilesError + status.FilesSkipped,
          .FilesOk = status.FilesOk,
          .FilesError = status.FilesError,
          .DirsUnsearchable = static_cast<std::int64_t>(status.SearchFailures.size()),
          .ItemsMissing = static_cast<std::int64_t>(status.MissingItems.size()),
          .Stopped = status.Stopped};
}

std::vector<TUncheckedRow> UncheckedRows(const TRunEndFacts& facts) {
  std::vector<TUncheckedRow> rows;
  if (facts.DirsUnsearchable > 0)
    rows.push_back({"不能搜索的目录数:", Platform::FormatCount(facts.DirsUnsearchable)});
  if (facts.ItemsMissing > 0)
    rows.push_back({"不存在的文件名:", Platform::FormatCount(facts.ItemsMissing)});
  return rows;
}

std::string UncheckedSentence(const TRunEndFacts& facts) {
  std::string parts;
  if (facts.DirsUnsearchable > 0)
    parts = Platform::FormatCount(facts.DirsUnsearchable) + " 个目录不能搜索";
  if (facts.ItemsMissing > 0)
    parts += (parts.empty() ? "" : ", ") + Platform::FormatCount(facts.ItemsMissing) + " 个文件名不存在";
  // A stopped run was cut short by the user, who knows why little was checked.
  if (facts.FilesChecked == 0 && !facts.Stopped)
    return parts.empty() ? "没有匹配的文件, 没有校验任何文件." : "没有校验任何文件: " + parts + ".";
  return parts.empty() ? "" : "未能全部校验: " + parts + ".";
}

std::string EndBoxText(const TRunEndFacts& facts) {
  const std::string unchecked = UncheckedSentence(facts);
  return unchecked.empty() ? "校验完成." : "校验完成.\n" + unchecked;
}
