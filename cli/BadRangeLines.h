#pragma once
// The lines korvane-cli writes to standard error for a file's bad and slow
// ranges, taken from its record on the worker's thread and written by the main one
// between progress lines.
#include <string>
#include <vector>

#include <mutex>
#include "VerifyObserver.h"

// "a.iso: 坏区 1,048,576–1,114,111 (65,536 字节) e=5 输入/输出错误"
std::string BadRangeLine(const std::string& path, const TBadRange& range);
// "a.iso: 慢区 1,048,576–1,114,111 (65,536 字节) 1,520 毫秒"
std::string SlowRangeLine(const std::string& path, const TSlowRange& range);

class TBadRangeLines : public TVerifyObserver {
 public:
  void FileFinished(const TFileRecord& record) override;
  // The lines since the last call.
  std::vector<std::string> Take();

 private:
  std::mutex Mutex;
  std::vector<std::string> Lines;
};
