#include "SpilledLines.h"

namespace {

constexpr std::size_t BlockSize = 64 * 1024;

}  // namespace

void TSpilledLines::Append(std::string_view line) {
  ++Count;
  if (!Spilling) {
    InMemory.push_back(line);
    return;
  }
  Pending.append(line).push_back('\n');
  if (Pending.size() >= BlockSize) WritePending();
}

void TSpilledLines::WritePending() {
  if (File.Write(Pending) == 0) {
    Spilled += static_cast<std::int64_t>(Pending.size());
  } else {
    // A full disk: the blocks written in full are read back, this one and
    // the rest stay in memory.
    Spilling = false;
    for (std::size_t start = 0, end; (end = Pending.find('\n', start)) != std::string::npos; start = end + 1)
      InMemory.push_back(std::string_view(Pending).substr(start, end - start));
  }
  Pending.clear();
}

void TSpilledLines::ForEach(const std::function<void(std::string_view line)>& take) {
  if (Spilling && !Pending.empty()) WritePending();
  if (File.Usable()) {
    std::string partial;
    File.ReadBack(Spilled, [&](std::string_view piece) {
      for (std::size_t end; (end = piece.find('\n')) != std::string_view::npos; piece.remove_prefix(end + 1)) {
        if (partial.empty()) {
          take(piece.substr(0, end));
        } else {
          take(partial.append(piece.substr(0, end)));
          partial.clear();
        }
      }
      partial.append(piece);
    });
  }
  for (const std::string_view line : InMemory) take(line);
}
