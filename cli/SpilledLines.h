#pragma once
// Lines kept in a spill file rather than in memory: a run over a failing
// disk may produce an error list of millions of lines, and korvane-cli's
// memory must not grow with it. Where no spill file can be made, the lines
// stay in memory, compactly.
#include <string>

#include "LineSink.h"
#include "LogStore.h"
#include "SpillFile.h"

class TSpilledLines : public TLineList {
 public:
  void Append(std::string_view line) override;
  bool Empty() const override { return Count == 0; }
  // Lines whose spill could not be read back are lost; the log then ends
  // without them rather than not at all.
  void ForEach(const std::function<void(std::string_view line)>& take) override;

 private:
  void WritePending();

  Platform::TSpillFile File;
  std::string Pending;
  TLogStore InMemory;  // when the spill file could not be made or written
  bool Spilling = File.Usable();
  std::int64_t Spilled = 0;  // bytes written in whole blocks
  std::size_t Count = 0;
};
