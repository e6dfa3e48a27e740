#pragma once
// The options of a run and the items to verify, with their settings file.
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>

#include "Mutex.h"
#include "VerifyStatus.h"

inline constexpr std::int32_t MinReadUnit = 1;
inline constexpr std::int32_t MaxReadUnit = 1048576;
inline constexpr std::int32_t DefaultReadUnit = 1024;

constexpr bool IsValidReadUnit(std::int64_t unit) {
  return unit >= MinReadUnit && unit <= MaxReadUnit;
}

// The unit a run reads in: without error positions nothing is gained by
// small reads, and files are read in the largest.
constexpr std::int32_t ReadUnitOfRun(bool positionError, std::int32_t readUnit) {
  return positionError ? readUnit : MaxReadUnit;
}

// Raised when the settings file cannot be written; the windows show it.
class ESettingsWriteError : public std::runtime_error {
 public:
  // reason: the system's text for why, empty when none is known.
  explicit ESettingsWriteError(const std::string& text, std::string reason = {})
      : std::runtime_error(text), FReason(std::move(reason)) {}
  const std::string& Reason() const { return FReason; }

 private:
  std::string FReason;
};

// The settings file of the running program (rule in SettingsLocation.h).
std::string GetIniFileName();

// Writes the fixed keys of "Korvane Version Information".
// Throws ESettingsWriteError at the first key that cannot be written.
void WriteVersionSection(const std::string& iniFileName);

class TVerifySetupInfo {
 public:
  // Loads the options from GetIniFileName().
  TVerifySetupInfo();
  // Loads the options from the given settings file instead.
  explicit TVerifySetupInfo(std::string iniFileName);
  TVerifySetupInfo(const TVerifySetupInfo&) = delete;
  TVerifySetupInfo& operator=(const TVerifySetupInfo&) = delete;

  void Reset();
  // Reads the four options; a missing or unreadable value gives its default.
  void LoadSettings();
  // Writes the version section, then the four options.
  // Throws ESettingsWriteError at the first key that cannot be written.
  void SaveSettings() const;

  const std::string& GetIniFile() const { return IniFileName; }

  bool AllSubdirectories = true;
  bool AllFileAttributes = true;
  bool PositionError = false;
  std::int32_t ReadUnit = DefaultReadUnit;
  TStringList VerifyList;
  // Items of VerifyList that name one file literally (a path handed over
  // as it is): checked as that file alone, whatever the subdirectory
  // option says and whatever characters the name holds.
  std::set<std::string> LiteralItems;
  bool ShowHelp = false;
  TMutex Mutex;

 private:
  std::string IniFileName;
};
