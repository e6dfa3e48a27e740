#pragma once
// What the progress window shows of the shared status, as plain values and
// texts, so that the window itself only copies them into its controls.
#include <cstdint>
#include <string>
#include <string_view>

#include <QString>

#include "VerifyStatus.h"

// "%.0n/%.0n字节" of position and size, with " 读取已停滞 N 秒" while a read
// is stalled; "%.0n" and "%.0n字节" of a count.
QString FileSizeText(std::int64_t position, std::int64_t size, std::int64_t stalledSeconds = 0);
QString CountText(std::int64_t count);
QString TotalSizeText(std::int64_t bytes);

// A progress bar holds int: a file of 2 GiB or more is shown at a scale
// that fits, and a position outside 0..size is held to it.
struct TBarValues {
  int Maximum = 0;
  int Position = 0;
};
TBarValues BarValues(std::int64_t position, std::int64_t size);

// Bytes a tray tip may hold (the platform's field holds 64 with the
// terminator).
inline constexpr std::size_t TrayTipLimit = 63;

// "Korvane - " + the file name, cut to TrayTipLimit bytes without
// splitting a UTF-8 character.
std::string TrayTipOf(std::string_view fileName);
