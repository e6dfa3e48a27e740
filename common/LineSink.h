#pragma once
// Where the lines of a log go as they are made: a store in memory, a
// terminal, a file being written.
#include <functional>
#include <string_view>

class TLineSink {
 public:
  virtual ~TLineSink() = default;
  virtual void Append(std::string_view line) = 0;
};

// Lines kept to be given back later, in order (the error list, printed at
// the end of the log).
class TLineList : public TLineSink {
 public:
  virtual bool Empty() const = 0;
  virtual void ForEach(const std::function<void(std::string_view line)>& take) = 0;
};
