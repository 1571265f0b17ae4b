// Key records of a level's itemsets (vertical/key_pattern_level.cc), four bits
// each, two to a byte: itemset i's record is the low half of byte i/2 when i
// is even, the high half when it is odd.
//
// A record names an item a of its itemset X with support(X) = support(X - a)
// by its position counted from X's end (0: the last item), or is the key mark
// kKey. Positions beyond kFarthest have no record: such an itemset is stored
// with the key mark, which is always sound (it only forgoes inferring the
// supports of its supersets). On deep dense levels the records take an eighth
// of a level's bytes in 4 bits where an item would take 8 or more.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

class key_column {
 public:
  static constexpr std::uint8_t kKey = 0xF;
  static constexpr int kFarthest = 14;

  // The record of the item `from_end` places before its itemset's last one:
  // the key mark when that is too far to name.
  static std::uint8_t naming(int from_end) {
    assert(from_end >= 0);
    return from_end <= kFarthest ? static_cast<std::uint8_t>(from_end) : kKey;
  }

  std::size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }

  [[gnu::always_inline]] std::uint8_t operator[](std::size_t i) const {
    return static_cast<std::uint8_t>((bytes_[i >> 1] >> ((i & 1) * 4)) & 0xF);
  }

  void push_back(std::uint8_t record) {
    assert(record <= kKey);
    if ((n_ & 1) == 0)
      bytes_.push_back(record);
    else
      bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (record << 4));
    ++n_;
  }

  void set(std::size_t i, std::uint8_t record) {
    assert(i < n_ && record <= kKey);
    std::uint8_t& b = bytes_[i >> 1];
    const int shift = static_cast<int>(i & 1) * 4;
    b = static_cast<std::uint8_t>((b & ~(0xF << shift)) | (record << shift));
  }

  // n records, all `record`.
  void assign(std::size_t n, std::uint8_t record) {
    bytes_.assign((n + 1) / 2, static_cast<std::uint8_t>(record | (record << 4)));
    // A lone last record keeps the high half of its byte clear, as pushes do.
    if ((n & 1) != 0) bytes_.back() = record;
    n_ = n;
  }

  // Appends the records of other in order.
  void append(const key_column& other) {
    if ((n_ & 1) == 0) {
      // Whole bytes line up.
      bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
      n_ += other.n_;
      return;
    }
    for (std::size_t i = 0; i < other.n_; ++i) push_back(other[i]);
  }

  void reserve(std::size_t n) { bytes_.reserve((n + 1) / 2); }

  // The bytes the column holds (capacity, not only what is used), and where:
  // record i lies in byte i/2.
  std::size_t capacity_bytes() const { return bytes_.capacity(); }
  const std::uint8_t* data() const { return bytes_.data(); }

  bool operator==(const key_column& other) const {
    return n_ == other.n_ && bytes_ == other.bytes_;
  }
  bool operator!=(const key_column& other) const { return !(*this == other); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t n_ = 0;
};
