#include "VerifySetupInfo.h"

#include <cerrno>
#include <string_view>

#include "IntegerText.h"
#include "Path.h"
#include "ProfileFile.h"
#include "SystemError.h"
#include "UserDirectories.h"
#include "VersionInfo.h"

namespace {

constexpr std::string_view OptionsSection = "Korvane 3.1";
constexpr std::string_view VersionSection = "Korvane Version Information";
constexpr std::string_view SubdirectoriesKey = "Search all subdirectories";
constexpr std::string_view FileAttributesKey = "Search all file attributes";
constexpr std::string_view PositionErrorKey = "Indicates error position";
constexpr std::string_view ReadUnitKey = "Bytes read per process";

std::int32_t ReadInteger(const Platform::TProfileFile& file, std::string_view key,
                         std::int32_t def) {
  return ProfileInteger(file.ReadString(OptionsSection, key, "")).value_or(def);
}

bool ReadBool(const Platform::TProfileFile& file, std::string_view key, bool def) {
  return ReadInteger(file, key, def ? 1 : 0) != 0;
}

void WriteKey(Platform::TProfileFile& file, std::string_view section, std::string_view key,
              std::string_view value) {
  if (file.WriteString(section, key, value)) return;
  const int code = errno;
  throw ESettingsWriteError("Unable to write to " + file.GetFileName(),
                            code != 0 ? Platform::SystemErrorText(code) : std::string());
}

void WriteBool(Platform::TProfileFile& file, std::string_view key, bool value) {
  WriteKey(file, OptionsSection, key, value ? "1" : "0");
}

}  // namespace

void WriteVersionSection(const std::string& iniFileName) {
  Platform::TProfileFile file(iniFileName);
  WriteKey(file, VersionSection, "Version", "3.1");
  WriteKey(file, VersionSection, "Release", "1");
  WriteKey(file, VersionSection, "Build", "5");
  WriteKey(file, VersionSection, "Release Date", "1998.3.7");
  WriteKey(file, VersionSection, "Copyright", CopyrightNotice);
}

TVerifySetupInfo::TVerifySetupInfo() : TVerifySetupInfo(GetIniFileName()) {}

TVerifySetupInfo::TVerifySetupInfo(std::string iniFileName) : IniFileName(std::move(iniFileName)) {
  TMutexLock hold(Mutex);
  Reset();
  LoadSettings();
}

void TVerifySetupInfo::Reset() {
  VerifyList.clear();
  LiteralItems.clear();
  AllSubdirectories = true;
  AllFileAttributes = true;
  PositionError = false;
  ShowHelp = false;
  ReadUnit = DefaultReadUnit;
}

void TVerifySetupInfo::LoadSettings() {
  const Platform::TProfileFile file(IniFileName);
  AllSubdirectories = ReadBool(file, SubdirectoriesKey, true);
  AllFileAttributes = ReadBool(file, FileAttributesKey, true);
  PositionError = ReadBool(file, PositionErrorKey, true);
  // A unit no read could use is treated as if the key were absent.
  const std::int32_t unit = ReadInteger(file, ReadUnitKey, DefaultReadUnit);
  ReadUnit = IsValidReadUnit(unit) ? unit : DefaultReadUnit;
}

void TVerifySetupInfo::SaveSettings() const {
  // The per-user folder does not exist before the first save; a failure here
  // shows up as the write error below.
  Platform::CreateDirectoryPath(Platform::DirectoryPart(IniFileName));
  WriteVersionSection(IniFileName);
  Platform::TProfileFile file(IniFileName);
  WriteBool(file, SubdirectoriesKey, AllSubdirectories);
  WriteBool(file, FileAttributesKey, AllFileAttributes);
  WriteBool(file, PositionErrorKey, PositionError);
  WriteKey(file, OptionsSection, ReadUnitKey, std::to_string(ReadUnit));
}
