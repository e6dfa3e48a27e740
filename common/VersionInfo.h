#pragma once
// The program's version, stamped in at build time and read once at start.
#include <cstdint>
#include <string>
#include <string_view>

struct TVersionInfo {
  bool Valid = false;
  std::uint32_t Major = 0;
  std::uint32_t Minor = 0;
  std::uint32_t Release = 0;
  std::uint32_t Build = 0;
};

// Reads a version source "a.b.c.d" (each number 0..65535). A missing,
// empty or malformed source gives an invalid version of four zeros.
TVersionInfo ReadVersionInfo(std::string_view source);

// "%d.%d" / "%d.%d.%d.%d" of a version, or "Error" when it is not valid.
std::string GetShortVersion(const TVersionInfo& info);
std::string GetFullVersion(const TVersionInfo& info);

// The program's own version, read from the build stamp on first use.
const TVersionInfo& ProgramVersion();
std::string GetShortVersion();
std::string GetFullVersion();

// Our one-line copyright notice.
inline constexpr std::string_view CopyrightNotice = "Copyright (C) 2026 Korvane";

// What --version prints, in both programs: the name with the full version,
// then the copyright notice, each on a line of its own.
std::string VersionBanner();
