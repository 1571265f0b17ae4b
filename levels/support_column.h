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
//
// Either layout may also be folded: the entries go in blocks of kBlock, and a
// block whose entries are all the same keeps one. On deep dense levels the
// supports come in long runs (level 10 of mushroom at 100: 12.7M itemsets in
// 0.8M runs of equal entries, 59 % of its blocks of 16 one value), and the
// level is the largest thing a run holds: folded, its supports take about
// half their room. Entries are read through heads_[i / kBlock], the index
// of the block's first kept entry with kFoldedBit set when the block keeps
// one; a block is folded when the entry after it is pushed, so the last
// entry pushed is always its own (set_last_record). A level is folded when
// the level it is joined from is large and shows many equal blocks
// (equal_block_share): reads cost a few instructions more folded.
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

  // Makes an empty column fold its blocks of equal entries (or not).
  void fold_blocks(bool folded) {
    assert(values_.empty());
    folded_ = folded;
  }
  bool folded() const { return folded_; }

  [[gnu::always_inline]] T1 operator[](std::size_t i) const {
    return static_cast<T1>(values_[entry(i)] & mask_);
  }
  // Packed only: itemset i's record.
  [[gnu::always_inline]] std::uint8_t record(std::size_t i) const {
    assert(packed_);
    return static_cast<std::uint8_t>(values_[entry(i)] >> kRecordShift);
  }
  // Itemset i's entry as stored, for reading its support and (packed) its
  // record with one look-up: support_of and record_of take them out.
  [[gnu::always_inline]] T1 entry_value(std::size_t i) const { return values_[entry(i)]; }
  [[gnu::always_inline]] T1 support_of(T1 entry) const { return static_cast<T1>(entry & mask_); }
  [[gnu::always_inline]] static std::uint8_t record_of(T1 entry) {
    return static_cast<std::uint8_t>(entry >> kRecordShift);
  }
  // The mask that takes a support out of an entry (all ones when plain), for
  // walks over data().
  T1 mask() const { return mask_; }

  void push_back(T1 support) {
    assert(!packed_ || support <= kSupportMask);
    push_entry(support);
  }
  // Packed only: sets the last entry's record (its top bits are clear).
  void set_last_record(std::uint8_t record) {
    assert(packed_ && record <= 0xF && !values_.empty());
    values_.back() = static_cast<T1>(values_.back() | (T1{record} << kRecordShift));
  }

  // Appends the entries of other, laid out alike (folded or not).
  void append(const support_column& other) {
    assert(other.packed_ == packed_);
    if (!folded_ && !other.folded_) {
      values_.insert(values_.end(), other.values_.begin(), other.values_.end());
      return;
    }
    for (std::size_t i = 0; i < other.size(); ++i) push_entry(other.values_[other.entry(i)]);
  }

  // The supports, without records.
  std::vector<T1> values() const {
    std::vector<T1> v(size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = (*this)[i];
    return v;
  }

  // The greatest support (0 when empty).
  T1 most() const {
    T1 m = 0;
    for (T1 v : values_) m = std::max<T1>(m, static_cast<T1>(v & mask_));
    return m;
  }

  // The share of blocks of kBlock whole entries that hold one value, from
  // every kSampledBlock-th block (0 when there is no whole block).
  double equal_block_share() const {
    const std::size_t blocks = size() / kBlock;
    std::size_t sampled = 0, equal = 0;
    for (std::size_t b = 0; b < blocks; b += kSampledBlock, ++sampled) {
      if (folded_) {
        equal += (heads_[b] & kFoldedBit) != 0;
        continue;
      }
      const T1* block = values_.data() + b * kBlock;
      equal += std::all_of(block + 1, block + kBlock, [&](T1 v) { return v == block[0]; });
    }
    return sampled == 0 ? 0.0 : static_cast<double>(equal) / static_cast<double>(sampled);
  }

  std::size_t size() const { return folded_ ? size_ : values_.size(); }
  bool empty() const { return size() == 0; }
  // Bytes held, reserved room included: the entries' and the heads'.
  std::size_t entry_bytes() const { return values_.capacity() * sizeof(T1); }
  std::size_t capacity_bytes() const {
    return entry_bytes() + heads_.capacity() * sizeof(std::uint32_t);
  }
  // Room for n supports, however many blocks fold.
  void reserve(std::size_t n) {
    values_.reserve(n);
    if (folded_) heads_.reserve(n / kBlock + 1);
  }
  // The entries as stored (supports and, packed, records), one per itemset
  // unless folded; candidate stores count into them.
  T1* data() { return values_.data(); }
  const T1* data() const { return values_.data(); }
  // Folded: the blocks' heads (empty otherwise).
  const std::vector<std::uint32_t>& heads() const { return heads_; }
  // The heads for walks over data() (null when not folded).
  const std::uint32_t* folded_heads() const { return folded_ ? heads_.data() : nullptr; }
  // Where itemset i's entry lies in data(), given folded_heads().
  [[gnu::always_inline]] static std::size_t entry_at(const std::uint32_t* heads, std::size_t i) {
    if (heads == nullptr) return i;
    const std::uint32_t head = heads[i / kBlock];
    // A folded block's entries are all its first.
    const std::size_t in_block = (i % kBlock) & (static_cast<std::size_t>(head >> 31) - 1);
    return (head & kIndexMask) + in_block;
  }
  // The entries kept for the whole blocks before itemset i: they lie before
  // this index in data(), and their heads below i / kBlock in heads() (a
  // block i falls inside is not counted, and neither is the last block while
  // it is being filled).
  std::size_t entries_before(std::size_t i) const {
    if (!folded_) return i;
    const std::size_t b = i / kBlock;
    return b < heads_.size() ? heads_[b] & kIndexMask : values_.size();
  }
  // Fetches itemset i's entry into the cache (its block's head, folded).
  void prefetch(std::size_t i) const {
    if (folded_)
      __builtin_prefetch(heads_.data() + i / kBlock);
    else
      __builtin_prefetch(values_.data() + i);
  }

  bool operator==(const support_column& other) const {
    if (packed_ != other.packed_ || size() != other.size()) return false;
    for (std::size_t i = 0; i < size(); ++i)
      if (values_[entry(i)] != other.values_[other.entry(i)]) return false;
    return true;
  }
  bool operator!=(const support_column& other) const { return !(*this == other); }

  static constexpr std::size_t kBlock = 16;
  // equal_block_share looks at one block in this many.
  static constexpr std::size_t kSampledBlock = 16;

 private:
  static constexpr std::uint32_t kFoldedBit = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kIndexMask = kFoldedBit - 1;

  // Where itemset i's entry is kept.
  [[gnu::always_inline]] std::size_t entry(std::size_t i) const {
    return folded_ ? entry_at(heads_.data(), i) : i;
  }

  void push_entry(T1 entry) {
    if (!folded_) {
      values_.push_back(entry);
      return;
    }
    if (size_ % kBlock == 0) {
      if (size_ > 0) fold_last_block();
      assert(values_.size() < kFoldedBit);
      heads_.push_back(static_cast<std::uint32_t>(values_.size()));
    }
    values_.push_back(entry);
    ++size_;
  }

  // The last block, whole and not folded yet, keeps one entry when all of
  // its entries are the same (they are the last kBlock kept).
  void fold_last_block() {
    std::uint32_t& head = heads_.back();
    const T1* block = values_.data() + head;
    if (!std::all_of(block + 1, block + kBlock, [&](T1 v) { return v == block[0]; })) return;
    values_.resize(head + 1);
    head |= kFoldedBit;
  }

  std::vector<T1> values_;
  std::vector<std::uint32_t> heads_;  // folded only
  std::size_t size_ = 0;              // folded only: the itemsets
  T1 mask_ = static_cast<T1>(~T1{0});
  bool packed_ = false;
  bool folded_ = false;
};
