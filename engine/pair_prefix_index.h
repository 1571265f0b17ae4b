// An open-addressing hash from a pair of items (a, b), a < b, to a range of
// offsets: the groups of a candidate store whose prefix starts with (a, b).
// Its size follows the pairs that occur as prefix starts, where a triangular
// table over all pairs of items costs 4 bytes per possible pair.
// Slots hold the key (a << 32 | b), the range's begin and end; the table has a
// power-of-two size at least twice the number of pairs (load at most one half),
// probed linearly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class pair_prefix_index {
 public:
  // Bytes the index takes for n_pairs pairs.
  static std::uint64_t bytes_for(std::uint64_t n_pairs) { return slots_for(n_pairs) * sizeof(slot); }

  // Empties the index and sizes it for n_pairs pairs.
  void reset(std::uint64_t n_pairs);
  // Adds (a, b) with its range; every pair is added once, at most n_pairs in all.
  void add(std::uint64_t a, std::uint64_t b, std::uint32_t begin, std::uint32_t end);
  // The range of (a, b); empty (begin == end) when the pair was not added.
  void find(std::uint64_t a, std::uint64_t b, std::size_t* begin, std::size_t* end) const {
    const std::uint64_t key = a << 32 | b;
    for (std::uint64_t s = home(key);; s = (s + 1) & mask_) {
      const slot& x = slots_[s];
      if (x.key == key) {
        *begin = x.begin;
        *end = x.end;
        return;
      }
      if (x.key == kEmpty) {
        *begin = *end = 0;
        return;
      }
    }
  }
  void release();
  std::uint64_t bytes() const { return slots_.capacity() * sizeof(slot); }

 private:
  struct slot {
    std::uint64_t key;
    std::uint32_t begin, end;
  };
  // No pair has this key: its second item would be 2^32 - 1 with a first item
  // 2^32 - 1 below it.
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  static std::uint64_t slots_for(std::uint64_t n_pairs) {
    std::uint64_t s = 2;
    while (s < 2 * n_pairs) s *= 2;
    return s;
  }
  std::uint64_t home(std::uint64_t key) const {
    return (key * 0x9E3779B97F4A7C15ull) >> shift_;
  }

  std::vector<slot> slots_;
  std::uint64_t mask_ = 0;
  int shift_ = 64;
};
