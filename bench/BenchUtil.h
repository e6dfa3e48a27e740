#pragma once
// Small helpers shared by the benchmark programs: wall-clock timing with the
// best of several rounds, and a printed ratio against a baseline.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

inline double SecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of rounds runs of each, alternating, so that both see the same
// state of the machine.
inline std::pair<double, double> BestOf(int rounds, const std::function<void()>& subject,
                                        const std::function<void()>& baseline) {
  double best = 1e300, bestBase = 1e300;
  for (int i = 0; i < rounds; ++i) {
    bestBase = std::min(bestBase, SecondsOf(baseline));
    best = std::min(best, SecondsOf(subject));
  }
  return {best, bestBase};
}

inline bool ReportRatio(const std::string& what, double seconds, double baseline, double limit) {
  const double ratio = seconds / baseline;
  const bool ok = ratio <= limit;
  std::printf("%-58s %8.3f s vs %8.3f s  ratio %.3f (limit %.2f) %s\n", what.c_str(), seconds,
              baseline, ratio, limit, ok ? "ok" : "OVER");
  return ok;
}
