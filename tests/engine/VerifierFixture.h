#pragma once
// A status, settings and read buffer of their own for each engine test.
#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"
#include "VerifierUnit.h"

class TVerifierFixture {
 public:
  explicit TVerifierFixture(std::int32_t readUnit = 1024)
      : Setup(Dir.PathOf("KORVANE.INI")), Buffer(1 << 20) {
    Setup.PositionError = true;
    Setup.ReadUnit = readUnit;
    Status.ReadBuffer = Buffer.data();
    Status.ReadBufferSize = Buffer.size();
  }

  // The log lines written since the given line.
  std::vector<std::string> LogFrom(std::size_t first = 0) const {
    return {Status.Log.begin() + static_cast<std::ptrdiff_t>(first), Status.Log.end()};
  }

  std::int64_t Position() {
    TMutexLock hold(Status.Mutex);
    return Status.CurrentFilePosition;
  }

  TTempDir Dir;
  TVerifyStatus Status;
  TVerifySetupInfo Setup;
  std::vector<std::byte> Buffer;
  TVerifier Verifier{Status, Setup, TVerifier::TNoThread{}};
};
