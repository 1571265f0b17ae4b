// Supports of a level's itemsets, one T1 each (8, 16 or 32-bit unsigned),
// optionally with their key records (levels/key_column.h) in the top four
// bits of each entry.
//
// A level built by the key-pattern iteration stores one record per itemset.
// Its supports are bounded by those of the level it is joined from (a
// superset never has more), so when that bound leaves the entries' top four
// bits clear, the records go there: on deep dense levels the supports use 12
// of 16 bits (mushroom past level 5, chess), and a separate record column would
// add half a byte per itemset. Otherwise the records stay in a key_column and
// these entries hold supports only.
//   plain:  entry i is the support of itemset i
//   packed: entry i is support | record << (bits - 4), support < 2^(bits - 4)
// operator[] gives the support in both layouts; record() is for packed columns.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

template <class T1>
class support_column {
 public:
  static constexpr int kBits = static_cast<int>(sizeof(T1)) * 8;
  static constexpr int kRecordShift = kBits - 4;
  static constexpr T1 kSupportMask = static_cast<T1>(static_cast<T1>(~T1{0}) >> 4);

  // Whether supports up to `most` leave room for the records.
  static bool fits_records(std::uint64_t most) { return most <= kSupportMask; }

  // Makes an empty column keep records in its entries (or not).
  void pack_records(bool packed) {
    assert(values_.empty());
    packed_ = packed;
    mask_ = packed ? kSupportMask : static_cast<T1>(~T1{0});
  }
  bool packed() const { return packed_; }

  [[gnu::always_inline]] T1 operator[](std::size_t i) const {
    return static_cast<T1>(values_[i] & mask_);
  }
  // Packed only: itemset i's record.
  [[gnu::always_inline]] std::uint8_t record(std::size_t i) const {
    assert(packed_);
    return static_cast<std::uint8_t>(values_[i] >> kRecordShift);
  }
  // The mask that takes a support out of an entry (all ones when plain), for
  // walks over data().
  T1 mask() const { return mask_; }

  void push_back(T1 support) {
    assert(!packed_ || support <= kSupportMask);
    values_.push_back(support);
  }
  // Packed only: sets the last entry's record (its top bits are clear).
  void set_last_record(std::uint8_t record) {
    assert(packed_ && record <= 0xF && !values_.empty());
    values_.back() = static_cast<T1>(values_.back() | (T1{record} << kRecordShift));
  }

  // Appends the entries of other, laid out alike.
  void append(const support_column& other) {
    assert(other.packed_ == packed_);
    values_.insert(values_.end(), other.values_.begin(), other.values_.end());
  }

  // The supports, without records.
  std::vector<T1> values() const {
    std::vector<T1> v(values_.size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = (*this)[i];
    return v;
  }

  // The greatest support (0 when empty).
  T1 most() const {
    T1 m = 0;
    for (T1 v : values_) m = std::max<T1>(m, static_cast<T1>(v & mask_));
    return m;
  }

  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }
  std::size_t capacity() const { return values_.capacity(); }
  void reserve(std::size_t n) { values_.reserve(n); }
  // The entries as stored (supports and, packed, records); candidate stores
  // count into them.
  T1* data() { return values_.data(); }
  const T1* data() const { return values_.data(); }

  bool operator==(const support_column& other) const {
    return packed_ == other.packed_ && values_ == other.values_;
  }
  bool operator!=(const support_column& other) const { return !(*this == other); }

 private:
  std::vector<T1> values_;
  T1 mask_ = static_cast<T1>(~T1{0});
  bool packed_ = false;
};
