#pragma once
// Runs from the medium: the system's caches dropped before each timed run,
// commands taking turns, the median of each.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchUtil.h"

inline double ColdSeconds(const std::string& command) {
  if (!DropCaches()) std::abort();
  return SecondsOf([&] { Shell(command + " > /dev/null 2>&1"); });
}

// Runs the commands in turn, rounds times, starting each round with the
// next one so that none always follows the same; the median of each.
inline std::vector<double> Medians(const std::vector<std::string>& commands, int rounds) {
  std::vector<std::vector<double>> seconds(commands.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const std::size_t which = (i + static_cast<std::size_t>(round)) % commands.size();
      seconds[which].push_back(ColdSeconds(commands[which]));
    }
  }
  std::vector<double> medians;
  for (const auto& times : seconds) medians.push_back(Median(times));
  return medians;
}
