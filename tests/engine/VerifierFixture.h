#pragma once
// A status, settings and read buffer of their own for each engine test.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "VerifierUnit.h"

class TVerifierFixture {
 public:
  explicit TVerifierFixture(std::int32_t readUnit = 1024)
      : Setup(Dir.PathOf("KORVANE.INI")), Buffer(1 << 20) {
    Setup.PositionError = true;
    Setup.ReadUnit = readUnit;
  }
  TVerifier::TNoThread OwnBuffer() { return {Buffer.data(), Buffer.size()}; }

  // The log lines written since the given line.
  std::vector<std::string> LogFrom(std::size_t first = 0) const {
    return {Status.Log.begin() + static_cast<std::ptrdiff_t>(first), Status.Log.end()};
  }

  std::int64_t Position() {
    TMutexLock hold(Status.Mutex);
    return Status.CurrentFilePosition;
  }

  void WaitForPosition(std::int64_t atLeast) {
    while (Position() < atLeast) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  // Waits until the worker's position has stood still for a while, so that
  // a pause or a stop has surely been seen.
  std::int64_t SettledPosition() {
    std::int64_t last = Position();
    for (int still = 0; still < 3;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      const std::int64_t now = Position();
      still = now == last ? still + 1 : 0;
      last = now;
    }
    return last;
  }

  // Checks one file on a thread of its own, as the run's worker would.
  std::thread VerifyInBackground(const std::string& path, std::int64_t size) {
    return std::thread([this, path, size] { Verifier.VerifyFile(path, size, 0); });
  }

  TTempDir Dir;
  TVerifyStatus Status;
  TVerifySetupInfo Setup;
  std::vector<std::byte> Buffer;
  TVerifier Verifier{Status, Setup, OwnBuffer()};
};
