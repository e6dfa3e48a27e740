#pragma once
// Where the lines of a log go as they are made: a store in memory, a
// terminal, a file being written.
#include <string_view>

class TLineSink {
 public:
  virtual ~TLineSink() = default;
  virtual void Append(std::string_view line) = 0;
};
