#pragma once
// Many short texts kept end to end in large blocks, each found by the
// number Add returned: no allocation per text and no copying as the store
// grows, for lists of a million names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TTextArena {
 public:
  static constexpr std::size_t BlockSize = std::size_t{4} << 20;

  std::uint64_t Add(std::string_view text) {
    if (Blocks.empty() || Blocks.back().size() + text.size() > Blocks.back().capacity()) {
      Blocks.emplace_back();
      Blocks.back().reserve(std::max(BlockSize, text.size()));
    }
    std::string& block = Blocks.back();
    const std::uint64_t at = (std::uint64_t{Blocks.size() - 1} << 32) | block.size();
    block.append(text);
    return at;
  }
  std::string_view View(std::uint64_t at, std::size_t length) const {
    return std::string_view(Blocks[at >> 32]).substr(at & 0xFFFFFFFFu, length);
  }

 private:
  std::vector<std::string> Blocks;
};
