#pragma once
// Attribute bits of directory entries, with the values the verification log
// and the attribute filters have always used.
#include <cstdint>

namespace Platform {

using TAttributes = std::uint32_t;

inline constexpr TAttributes faReadOnly = 0x01;
inline constexpr TAttributes faHidden = 0x02;
inline constexpr TAttributes faSysFile = 0x04;
inline constexpr TAttributes faVolumeID = 0x08;
inline constexpr TAttributes faDirectory = 0x10;
inline constexpr TAttributes faArchive = 0x20;

}  // namespace Platform
