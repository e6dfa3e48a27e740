#pragma once
// The lines of a log kept compactly: a run over millions of files writes
// millions of lines, and one std::string each costs three to four times
// the text itself. Here the text lies in large blocks, each line followed
// by a line feed, and only every 32nd line's place is remembered; a line
// is found from the nearest remembered one with memchr. Reading walks the
// blocks directly, so the viewer and the saved file never copy the log.
//
// Lines hold no line feed: names and paths reach the log escaped.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One line as the store gives it: a view of its bytes, which may also be
// taken as a std::string where a copy is wanted.
class TLogLine : public std::string_view {
 public:
  TLogLine(std::string_view line) : std::string_view(line) {}
  operator std::string() const { return std::string(*this); }
};

class TLogStore {
  struct TPlace {
    std::uint32_t Block = 0;
    std::uint32_t Offset = 0;
  };

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TLogLine;
    using difference_type = std::ptrdiff_t;
    using reference = TLogLine;
    using pointer = void;

    const_iterator() = default;
    TLogLine operator*() const { return Store->LineAt(Place); }
    const_iterator& operator++();
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    const_iterator operator+(difference_type count) const;
    difference_type operator-(const const_iterator& other) const {
      return static_cast<difference_type>(Index) - static_cast<difference_type>(other.Index);
    }
    bool operator==(const const_iterator& other) const { return Index == other.Index; }

   private:
    friend class TLogStore;
    const_iterator(const TLogStore* store, std::size_t index, TPlace place)
        : Store(store), Index(index), Place(place) {}
    const TLogStore* Store = nullptr;
    std::size_t Index = 0;
    TPlace Place{};
  };
  using iterator = const_iterator;
  using value_type = TLogLine;
  using size_type = std::size_t;

  TLogStore() = default;
  TLogStore(const TLogStore&) = delete;
  TLogStore& operator=(const TLogStore&) = delete;
  TLogStore& operator=(const std::vector<std::string>& lines);

  void push_back(std::string_view line);
  void emplace_back(std::string_view line = {}) { push_back(line); }
  void clear();

  std::size_t size() const { return Count; }
  bool empty() const { return Count == 0; }
  TLogLine operator[](std::size_t index) const;
  TLogLine back() const { return (*this)[Count - 1]; }
  const_iterator begin() const { return {this, 0, {}}; }
  const_iterator end() const { return {this, Count, {}}; }

  // The bytes the store holds (text, separators, index), for measuring.
  std::size_t BytesUsed() const;

  operator std::vector<std::string>() const { return {begin(), end()}; }
  bool operator==(const std::vector<std::string>& lines) const;

 private:
  static constexpr std::size_t BlockSize = std::size_t{1} << 20;
  static constexpr std::size_t IndexStep = 32;

  struct TBlock {
    std::unique_ptr<char[]> Bytes;
    std::uint32_t Used = 0;
    std::uint32_t Capacity = 0;
  };

  std::string_view LineAt(TPlace place) const;
  TPlace Next(TPlace place) const;
  TPlace PlaceOf(std::size_t index) const;

  std::vector<TBlock> Blocks;
  std::vector<TPlace> Index;
  std::size_t Count = 0;
};
