// A column of ascending offsets: the ends of consecutive ranges of a longer
// array (the itemsets of each group, the children of each tree node).
//
// On deep dense levels a range holds two or three entries, so 32 bits per end
// cost about as much as the itemsets' own suffixes and supports. Here each
// entry is kept in 16 bits, relative to a 32-bit base per block of 256 entries
// (the block's first entry): half the bytes. An entry that lies 65,536 or more
// above its block's base turns the column wide, 32 bits per entry, for good
// (blocks of 256 ranges averaging over 255 entries: short sparse levels). A
// column built wide stays wide and gives its entries as one array (data()).
// V is the offset type (int or std::uint32_t), its values never negative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

template <class V>
class offset_column {
 public:
  static constexpr int kBlockBits = 8;
  static constexpr std::uint32_t kMaxRelative = 0xFFFF;

  explicit offset_column(bool wide = false) : wide_(wide) {}

  // The bytes n narrow entries take (blocks' bases included).
  static std::uint64_t narrow_bytes(std::uint64_t n) {
    return n * sizeof(std::uint16_t) + ((n >> kBlockBits) + 1) * sizeof(std::uint32_t);
  }

  std::size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  bool wide() const { return wide_; }

  // Inlined: read per group and per tree step in the level walks.
  [[gnu::always_inline]] V operator[](std::size_t i) const {
    return wide_ ? wide_values_[i] : static_cast<V>(bases_[i >> kBlockBits] + narrow_[i]);
  }
  [[gnu::always_inline]] V back() const { return (*this)[n_ - 1]; }

  // Raises the last entry by one (a group gains an itemset).
  [[gnu::always_inline]] void increment_back() {
    if (wide_) {
      ++wide_values_.back();
    } else if (((n_ - 1) & kBlockMask) == 0) {
      ++bases_.back();
    } else if (narrow_.back() < kMaxRelative) {
      ++narrow_.back();
    } else {
      set_back(back() + 1);
    }
  }

  // Appends v, not below the last entry.
  void push_back(V v) {
    if (!wide_) {
      if ((n_ & kBlockMask) == 0) {
        bases_.push_back(static_cast<std::uint32_t>(v));
        narrow_.push_back(0);
        ++n_;
        return;
      }
      const std::uint32_t d = static_cast<std::uint32_t>(v) - bases_.back();
      if (d <= kMaxRelative) {
        narrow_.push_back(static_cast<std::uint16_t>(d));
        ++n_;
        return;
      }
      widen();
    }
    wide_values_.push_back(v);
    ++n_;
  }

  // Raises the last entry to v.
  void set_back(V v) {
    if (!wide_) {
      const std::size_t i = n_ - 1;
      if ((i & kBlockMask) == 0) {
        bases_.back() = static_cast<std::uint32_t>(v);
        return;
      }
      const std::uint32_t d = static_cast<std::uint32_t>(v) - bases_.back();
      if (d <= kMaxRelative) {
        narrow_.back() = static_cast<std::uint16_t>(d);
        return;
      }
      widen();
    }
    wide_values_.back() = v;
  }

  void reserve(std::size_t n) {
    if (wide_) {
      wide_values_.reserve(n);
    } else {
      narrow_.reserve(n);
      bases_.reserve((n >> kBlockBits) + 1);
    }
  }

  // The bytes the column holds (capacity, not only what is used).
  std::uint64_t capacity_bytes() const {
    return narrow_.capacity() * sizeof(std::uint16_t) + bases_.capacity() * sizeof(std::uint32_t) +
           wide_values_.capacity() * sizeof(V);
  }

  // The index of the first entry above v (size() when none).
  std::size_t upper_bound(V v) const {
    std::size_t lo = 0, hi = n_;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if ((*this)[mid] <= v)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }

  // The entries as one array: wide columns only.
  const V* data() const { return wide_values_.data(); }
  // Where the entries live, for checks that an array was not reallocated.
  const void* storage() const {
    return wide_ ? static_cast<const void*>(wide_values_.data())
                 : static_cast<const void*>(narrow_.data());
  }
  // The bytes reserved at storage() (the blocks' bases live apart).
  std::size_t storage_bytes() const {
    return wide_ ? wide_values_.capacity() * sizeof(V) : narrow_.capacity() * sizeof(std::uint16_t);
  }

  bool operator==(const offset_column& other) const {
    if (n_ != other.n_) return false;
    for (std::size_t i = 0; i < n_; ++i)
      if ((*this)[i] != other[i]) return false;
    return true;
  }
  bool operator!=(const offset_column& other) const { return !(*this == other); }

 private:
  static constexpr std::size_t kBlockMask = (std::size_t{1} << kBlockBits) - 1;

  // Copies the entries to 32 bits (keeping the room reserved) and frees the
  // narrow arrays.
  void widen() {
    std::vector<V> values;
    values.reserve(narrow_.capacity());
    for (std::size_t i = 0; i < n_; ++i) values.push_back((*this)[i]);
    std::vector<std::uint16_t>().swap(narrow_);
    std::vector<std::uint32_t>().swap(bases_);
    wide_values_.swap(values);
    wide_ = true;
  }

  bool wide_;
  std::size_t n_ = 0;
  std::vector<std::uint16_t> narrow_;
  std::vector<std::uint32_t> bases_;
  std::vector<V> wide_values_;
};
