#include "VersionInfo.h"

#include <charconv>

#include "VersionStamp.h"

namespace {

bool ParsePart(std::string_view text, std::uint32_t& part) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, part);
  return ec == std::errc() && ptr == end && part <= 0xFFFF;
}

}  // namespace

TVersionInfo ReadVersionInfo(std::string_view source) {
  std::uint32_t parts[4] = {};
  for (int i = 0; i < 4; ++i) {
    const auto dot = source.find('.');
    const bool last = i == 3;
    if (last != (dot == std::string_view::npos)) return {};
    if (!ParsePart(source.substr(0, dot), parts[i])) return {};
    if (!last) source.remove_prefix(dot + 1);
  }
  return {true, parts[0], parts[1], parts[2], parts[3]};
}

std::string GetShortVersion(const TVersionInfo& info) {
  if (!info.Valid) return "Error";
  return std::to_string(info.Major) + "." + std::to_string(info.Minor);
}

std::string GetFullVersion(const TVersionInfo& info) {
  if (!info.Valid) return "Error";
  return GetShortVersion(info) + "." + std::to_string(info.Release) + "." +
         std::to_string(info.Build);
}

const TVersionInfo& ProgramVersion() {
  static const TVersionInfo version = ReadVersionInfo(KORVANE_VERSION_STAMP);
  return version;
}

std::string GetShortVersion() { return GetShortVersion(ProgramVersion()); }
std::string GetFullVersion() { return GetFullVersion(ProgramVersion()); }

std::string VersionBanner() { return "Korvane" + GetFullVersion() + "\n" + std::string(CopyrightNotice) + "\n"; }
