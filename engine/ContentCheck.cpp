#include "ContentCheck.h"

#include "LogText.h"

namespace LogText {

std::string ContentMismatchMessage(std::string_view algorithm) {
  return std::string(ContentMismatch) + "(" + std::string(algorithm) + ")";
}

std::vector<std::string> ContentFailureLogLines(const TContentFailure& failure) {
  return {LogFailureLine(failure.Message), "     校验和应为=" + failure.Expected,
          "     实际校验和=" + failure.Actual};
}

std::vector<std::string> ContentFailureErrorList(const TContentFailure& failure,
                                                 std::string_view path) {
  return {ErrorListEntry(failure.Message, path), "    校验和应为=" + failure.Expected,
          "    实际校验和=" + failure.Actual};
}

}  // namespace LogText
