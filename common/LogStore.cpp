#include "LogStore.h"

#include <algorithm>
#include <cstring>

TLogStore::const_iterator& TLogStore::const_iterator::operator++() {
  ++Index;
  if (Index < Store->Count) Place = Store->Next(Place);
  return *this;
}

TLogStore::const_iterator TLogStore::const_iterator::operator+(difference_type count) const {
  const auto index = static_cast<std::size_t>(static_cast<difference_type>(Index) + count);
  return {Store, index, index < Store->Count ? Store->PlaceOf(index) : TPlace{}};
}

TLogStore& TLogStore::operator=(const std::vector<std::string>& lines) {
  clear();
  for (const std::string& line : lines) push_back(line);
  return *this;
}

void TLogStore::push_back(std::string_view line) {
  const std::size_t need = line.size() + 1;
  if (Blocks.empty() || Blocks.back().Capacity - Blocks.back().Used < need) {
    // A line longer than a block gets a block of its own size.
    const std::size_t capacity = std::max(BlockSize, need);
    Blocks.push_back({std::make_unique_for_overwrite<char[]>(capacity), 0,
                      static_cast<std::uint32_t>(capacity)});
  }
  TBlock& block = Blocks.back();
  if (Count % IndexStep == 0)
    Index.push_back({static_cast<std::uint32_t>(Blocks.size() - 1), block.Used});
  std::memcpy(block.Bytes.get() + block.Used, line.data(), line.size());
  block.Bytes[block.Used + line.size()] = '\n';
  block.Used += static_cast<std::uint32_t>(need);
  ++Count;
}

void TLogStore::clear() {
  Blocks.clear();
  Blocks.shrink_to_fit();
  Index.clear();
  Index.shrink_to_fit();
  Count = 0;
}

std::string_view TLogStore::LineAt(TPlace place) const {
  const TBlock& block = Blocks[place.Block];
  const char* start = block.Bytes.get() + place.Offset;
  const auto* end = static_cast<const char*>(std::memchr(start, '\n', block.Used - place.Offset));
  return {start, static_cast<std::size_t>(end - start)};
}

TLogStore::TPlace TLogStore::Next(TPlace place) const {
  place.Offset += static_cast<std::uint32_t>(LineAt(place).size() + 1);
  if (place.Offset == Blocks[place.Block].Used && place.Block + 1 < Blocks.size())
    return {place.Block + 1, 0};
  return place;
}

TLogStore::TPlace TLogStore::PlaceOf(std::size_t index) const {
  TPlace place = Index[index / IndexStep];
  for (std::size_t i = index % IndexStep; i > 0; --i) place = Next(place);
  return place;
}

TLogLine TLogStore::operator[](std::size_t index) const { return LineAt(PlaceOf(index)); }

std::size_t TLogStore::BytesUsed() const {
  std::size_t bytes = Index.capacity() * sizeof(TPlace) + Blocks.capacity() * sizeof(TBlock);
  for (const TBlock& block : Blocks) bytes += block.Used;
  return bytes;
}

bool TLogStore::operator==(const std::vector<std::string>& lines) const {
  return Count == lines.size() && std::equal(begin(), end(), lines.begin());
}
