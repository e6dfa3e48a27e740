#pragma once
// Work done on a thread of its own at a steady pace, for outputs that must
// keep up with a run without costing its thread anything.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

// A thread that calls work every interval until it is stopped (or goes);
// a stop wakes it at once.
template <typename Work>
std::jthread EveryInterval(std::chrono::milliseconds interval, Work work) {
  return std::jthread([interval, work](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    while (!wake.wait_for(lock, stop, interval, [] { return false; }) && !stop.stop_requested())
      work();
  });
}
