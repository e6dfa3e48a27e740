#include "BusRecord.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

const char* RecordPath() { return std::getenv("KORVANE_BUS_RECORD"); }

}  // namespace

bool BusRecordAvailable() { return RecordPath() != nullptr; }

std::vector<std::string> BusRecordLines() {
  std::vector<std::string> lines;
  if (!RecordPath()) return lines;
  std::ifstream in(RecordPath());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int BusRecordCount(const std::string& line) {
  const std::vector<std::string> lines = BusRecordLines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

bool WaitForBusRecord(const std::function<bool()>& condition, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
