// A column of ascending offsets: the ends of consecutive ranges of a longer
// array (the itemsets of each group, the children of each tree node).
//
// On deep dense levels a range holds one to three entries, so 32 bits per end
// cost about as much as the itemsets' own suffixes and supports. Here each
// entry is kept in 8 bits, relative to a 32-bit base per block of 32 entries
// (the block's first entry): 1.125 bytes per entry. A block whose entries
// reach 256 or more above its base is spilled: all its 32 entries move to a
// 32-bit side array, and its base word holds the spill flag and their place
// there. When spilled blocks grow common (ranges averaging over 8 entries:
// sparse levels), the column turns half: 16 bits per entry relative to a base
// per block of 256; an entry 65,536 or more above its base there turns it wide,
// 32 bits per entry, for good. A column built wide stays wide and gives its
// entries as one array (data()).
// V is the offset type (int or std::uint32_t), its values never negative.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

template <class V>
class offset_column {
 public:
  static constexpr int kByteBlockBits = 5;
  static constexpr int kHalfBlockBits = 8;
  static constexpr std::uint32_t kMaxByte = 0xFF;
  static constexpr std::uint32_t kMaxHalf = 0xFFFF;
  // A base word with this bit set is a spilled block's place in the side array
  // (so byte bases stay below 2^31; a larger one turns the column half).
  static constexpr std::uint32_t kSpilled = 0x80000000u;
  // Spilled blocks the column keeps before it may turn half (each costs 128
  // bytes more than it would there), and the share of blocks that turns it:
  // over one in kHalfShare, where a byte entry with its spills costs more than
  // a half one.
  static constexpr std::size_t kSpillsBeforeHalf = 16;
  static constexpr std::size_t kHalfShare = 5;

  explicit offset_column(bool wide = false) : mode_(wide ? kWide : kByte) {}

  // The bytes n byte entries take (blocks' bases included, no spills).
  static std::uint64_t narrow_bytes(std::uint64_t n) {
    return n + ((n >> kByteBlockBits) + 1) * sizeof(std::uint32_t);
  }

  std::size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  bool wide() const { return mode_ == kWide; }
  bool half() const { return mode_ == kHalf; }
  std::size_t spilled_blocks() const { return spilled_blocks_; }

  // Inlined: read per group and per tree step in the level walks.
  [[gnu::always_inline]] V operator[](std::size_t i) const {
    if (mode_ == kByte) {
      const std::uint32_t b = bases_[i >> kByteBlockBits];
      if (__builtin_expect((b & kSpilled) == 0, 1)) return static_cast<V>(b + bytes_[i]);
      return static_cast<V>(spill_[(b & ~kSpilled) + (i & kByteMask)]);
    }
    return mode_ == kHalf ? static_cast<V>(bases_[i >> kHalfBlockBits] + halves_[i])
                          : wide_values_[i];
  }
  [[gnu::always_inline]] V back() const { return (*this)[n_ - 1]; }

  // Entries i-1 and i (0 < i < size()) into before and at: within a block
  // one read of its base gives both ends of a range.
  [[gnu::always_inline]] void around(std::size_t i, V& before, V& at) const {
    if (__builtin_expect(mode_ == kByte && (i & kByteMask) != 0, 1)) {
      const std::uint32_t b = bases_[i >> kByteBlockBits];
      if (__builtin_expect((b & kSpilled) == 0, 1)) {
        before = static_cast<V>(b + bytes_[i - 1]);
        at = static_cast<V>(b + bytes_[i]);
        return;
      }
    }
    before = (*this)[i - 1];
    at = (*this)[i];
  }

  // Reads a column's entries in order from a given one on, keeping the base of
  // the current byte block instead of reading it and its spill flag per entry;
  // other entries are read as by operator[].
  class cursor {
   public:
    cursor(const offset_column& column, std::size_t i) : column_(&column), i_(i) {}

    // The entry at the cursor; the cursor moves on to the next one.
    [[gnu::always_inline]] V next() {
      const std::size_t i = i_++;
      if (__builtin_expect(in_block_ && (i & kByteMask) != 0, 1))
        return static_cast<V>(base_ + column_->bytes_[i]);
      return enter(i);
    }

   private:
    // Entry i read whole: the first of its block, or of the walk.
    V enter(std::size_t i) {
      const offset_column& c = *column_;
      in_block_ = false;
      if (c.mode_ == kByte) {
        const std::uint32_t b = c.bases_[i >> kByteBlockBits];
        if ((b & kSpilled) == 0) {
          in_block_ = true;
          base_ = b;
          return static_cast<V>(b + c.bytes_[i]);
        }
      }
      return c[i];
    }

    const offset_column* column_;
    std::size_t i_;
    std::uint32_t base_ = 0;  // the base of entry i_-1's block, when in_block_
    bool in_block_ = false;
  };

  // Raises the last entry by one (a group gains an itemset). Inlined where it
  // is a byte below 255 inside its unspilled block (nearly always); the rest
  // goes out of line.
  [[gnu::always_inline]] void increment_back() {
    if (__builtin_expect(((n_ - 1) & kByteMask) != 0 && tail_base_ != kNoTail, 1)) {
      std::uint8_t& last = bytes_.back();
      if (__builtin_expect(last < kMaxByte, 1)) {
        ++last;
        return;
      }
    }
    increment_back_rare();
  }

  // increment_back's every case.
  [[gnu::noinline]] void increment_back_rare() {
    increment_back_any();
    sync_tail();
  }

  // Appends v, not below the last entry. Inlined where it is a byte within
  // its unspilled block's base (nearly always); the rest goes out of line.
  [[gnu::always_inline]] void push_back(V v) {
    const std::uint64_t above = std::uint64_t{static_cast<std::uint32_t>(v)} - tail_base_;
    if (__builtin_expect((n_ & kByteMask) != 0 && above <= kMaxByte, 1)) {
      bytes_.push_back(static_cast<std::uint8_t>(above));
      ++n_;
      return;
    }
    push_back_rare(v);
  }

  // push_back's every case.
  [[gnu::noinline]] void push_back_rare(V v) {
    push_back_any(v);
    sync_tail();
  }

  // Raises the last entry to v.
  void set_back(V v) {
    set_back_any(v);
    sync_tail();
  }

  // Appends src's entries from `from` on, each raised by add (they must not
  // fall below the last entry). Runs within a byte block are written whole;
  // a run that lies in one unspilled byte block of src too is its bytes
  // moved by one difference of the two blocks' bases (its entries ascend, so
  // they fit a byte when its last one does).
  void append_shifted(const offset_column& src, std::size_t from, V add) {
    const std::size_t n = src.size();
    std::size_t i = from;
    while (i < n) {
      if (mode_ == kByte && (n_ & kByteMask) != 0 && (bases_.back() & kSpilled) == 0) {
        const std::uint32_t b = bases_.back();
        const std::size_t room = std::min(n - i, (kByteMask + 1) - (n_ & kByteMask));
        const std::size_t at = bytes_.size();
        if (src.mode_ == kByte) {
          const std::uint32_t src_base = src.bases_[i >> kByteBlockBits];
          const std::size_t run = std::min(room, (kByteMask + 1) - (i & kByteMask));
          const std::uint32_t delta = src_base + static_cast<std::uint32_t>(add) - b;
          if ((src_base & kSpilled) == 0 && src.bytes_[i + run - 1] + delta <= kMaxByte) {
            bytes_.resize(at + run);
            std::uint8_t* out = bytes_.data() + at;
            const std::uint8_t* in = src.bytes_.data() + i;
            for (std::size_t j = 0; j < run; ++j) out[j] = static_cast<std::uint8_t>(in[j] + delta);
            n_ += run;
            i += run;
            continue;
          }
        }
        bytes_.resize(at + room);
        std::uint8_t* out = bytes_.data() + at;
        std::size_t j = 0;
        for (; j < room; ++j) {
          const V v = static_cast<V>(src[i + j] + add);
          const std::uint32_t d = static_cast<std::uint32_t>(v) - b;
          if (d > kMaxByte) {
            bytes_.resize(at + j);
            n_ += j;
            push_back(v);
            break;
          }
          out[j] = static_cast<std::uint8_t>(d);
        }
        if (j == room) n_ += room;
        i += std::min(room, j + 1);
      } else {
        push_back(static_cast<V>(src[i] + add));
        ++i;
      }
    }
  }

  void reserve(std::size_t n) {
    if (mode_ == kByte) {
      bytes_.reserve(n);
      bases_.reserve((n >> kByteBlockBits) + 1);
    } else if (mode_ == kHalf) {
      halves_.reserve(n);
      bases_.reserve((n >> kHalfBlockBits) + 1);
    } else {
      wide_values_.reserve(n);
    }
  }

  // The bytes the column holds (capacity, not only what is used).
  std::uint64_t capacity_bytes() const {
    return bytes_.capacity() + halves_.capacity() * sizeof(std::uint16_t) +
           (bases_.capacity() + spill_.capacity()) * sizeof(std::uint32_t) +
           wide_values_.capacity() * sizeof(V);
  }

  // The sum of m(m-1)/2 over the steps m from each entry of [from, to) to the
  // one before it (entry from-1 given as `before`): the pairs joined inside
  // the ranges these entries end. Within an unspilled byte block a step is
  // the difference of two bytes below 256, whose pairs the block sums in
  // 32 bits, in a loop the compiler vectorizes; other entries are read whole.
  std::uint64_t pairs_in_steps(std::size_t from, std::size_t to, V before) const {
    std::uint64_t pairs = 0;
    auto add = [&pairs](std::uint32_t m) {
      pairs += static_cast<std::uint64_t>(m) * (m - std::uint64_t{1}) / 2;
    };
    for (std::size_t i = from; i < to;) {
      const std::uint32_t b = mode_ == kByte ? bases_[i >> kByteBlockBits] : kSpilled;
      if ((b & kSpilled) != 0) {
        const V at = (*this)[i++];
        add(static_cast<std::uint32_t>(at) - static_cast<std::uint32_t>(before));
        before = at;
        continue;
      }
      const std::size_t stop = std::min(to, (i | kByteMask) + 1);
      const std::uint8_t* bytes = bytes_.data();
      add(b + bytes[i] - static_cast<std::uint32_t>(before));
      std::uint32_t in_block = 0;
      for (std::size_t j = i + 1; j < stop; ++j) {
        const std::uint32_t m = static_cast<std::uint32_t>(bytes[j] - bytes[j - 1]);
        in_block += m * (m - 1) / 2;
      }
      pairs += in_block;
      before = static_cast<V>(b + bytes[stop - 1]);
      i = stop;
    }
    return pairs;
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
  // Where the per-entry array lives (entry i at entry_bytes() * i), for checks
  // that it was not reallocated and for giving its pages back. The blocks'
  // bases and the spilled blocks live apart.
  const void* storage() const {
    return mode_ == kByte   ? static_cast<const void*>(bytes_.data())
           : mode_ == kHalf ? static_cast<const void*>(halves_.data())
                            : static_cast<const void*>(wide_values_.data());
  }
  std::size_t entry_bytes() const {
    return mode_ == kByte ? 1 : mode_ == kHalf ? sizeof(std::uint16_t) : sizeof(V);
  }
  // The bytes reserved at storage().
  std::size_t storage_bytes() const {
    return mode_ == kByte   ? bytes_.capacity()
           : mode_ == kHalf ? halves_.capacity() * sizeof(std::uint16_t)
                            : wide_values_.capacity() * sizeof(V);
  }
  // The blocks' bases (one 32-bit word per block_entries() entries; none
  // when wide), for giving their pages back.
  const std::uint32_t* bases() const { return bases_.data(); }
  std::size_t block_entries() const {
    return mode_ == kByte   ? std::size_t{1} << kByteBlockBits
           : mode_ == kHalf ? std::size_t{1} << kHalfBlockBits
                            : 0;
  }

  bool operator==(const offset_column& other) const {
    if (n_ != other.n_) return false;
    for (std::size_t i = 0; i < n_; ++i)
      if ((*this)[i] != other[i]) return false;
    return true;
  }
  bool operator!=(const offset_column& other) const { return !(*this == other); }

 private:
  enum mode : std::uint8_t { kByte, kHalf, kWide };
  static constexpr std::size_t kByteMask = (std::size_t{1} << kByteBlockBits) - 1;
  static constexpr std::size_t kHalfMask = (std::size_t{1} << kHalfBlockBits) - 1;

  // tail_base_ when the last block is not an unspilled byte block: far enough
  // above every entry that no entry lies within a byte above it.
  static constexpr std::uint64_t kNoTail = std::uint64_t{1} << 40;

  // Sets tail_base_ from the column's mode and last block; every change of
  // those (all out of line) ends here.
  void sync_tail() {
    tail_base_ = mode_ == kByte && !bases_.empty() && (bases_.back() & kSpilled) == 0
                     ? bases_.back()
                     : kNoTail;
  }

  // increment_back in every layout.
  void increment_back_any() {
    if (mode_ == kByte) {
      std::uint32_t& b = bases_.back();
      if ((b & kSpilled) == 0) {
        if (((n_ - 1) & kByteMask) == 0) {
          if (b + 1 < kSpilled) {
            ++b;
            return;
          }
        } else if (bytes_.back() < kMaxByte) {
          ++bytes_.back();
          return;
        }
      }
    } else if (mode_ == kWide) {
      ++wide_values_.back();
      return;
    } else if (((n_ - 1) & kHalfMask) == 0) {
      ++bases_.back();
      return;
    } else if (halves_.back() < kMaxHalf) {
      ++halves_.back();
      return;
    }
    set_back(back() + 1);
  }

  // set_back in every layout.
  void set_back_any(V v) {
    const auto u = static_cast<std::uint32_t>(v);
    const std::size_t i = n_ - 1;
    if (mode_ == kByte) {
      std::uint32_t& b = bases_.back();
      if ((b & kSpilled) != 0) {
        spill_[(b & ~kSpilled) + (i & kByteMask)] = u;
        return;
      }
      if ((i & kByteMask) == 0) {
        if ((u & kSpilled) == 0) {
          b = u;
          return;
        }
      } else {
        const std::uint32_t d = u - b;
        if (d <= kMaxByte) {
          bytes_.back() = static_cast<std::uint8_t>(d);
          return;
        }
        if (spill_last_block()) {
          spill_[(bases_.back() & ~kSpilled) + (i & kByteMask)] = u;
          return;
        }
      }
      to_half();
    }
    if (mode_ == kHalf) {
      if ((i & kHalfMask) == 0) {
        bases_.back() = u;
        return;
      }
      const std::uint32_t d = u - bases_.back();
      if (d <= kMaxHalf) {
        halves_.back() = static_cast<std::uint16_t>(d);
        return;
      }
      widen();
    }
    wide_values_.back() = v;
  }

  // push_back in every layout.
  void push_back_any(V v) {
    const auto u = static_cast<std::uint32_t>(v);
    if (mode_ == kByte) {
      if ((n_ & kByteMask) != 0) {
        // Within a byte of an unspilled block's base (nearly always): the
        // byte alone; otherwise the entry is set like a raised last one.
        const std::uint32_t b = bases_.back();
        if ((b & kSpilled) == 0 && u - b <= kMaxByte) {
          bytes_.push_back(static_cast<std::uint8_t>(u - b));
          ++n_;
          return;
        }
        bytes_.push_back(0);
        ++n_;
        set_back(v);
        return;
      }
      if ((u & kSpilled) == 0) {
        bases_.push_back(u);
        bytes_.push_back(0);
        ++n_;
        return;
      }
      to_half();
    }
    if (mode_ == kHalf) {
      if ((n_ & kHalfMask) == 0) {
        bases_.push_back(u);
        halves_.push_back(0);
        ++n_;
        return;
      }
      const std::uint32_t d = u - bases_.back();
      if (d <= kMaxHalf) {
        halves_.push_back(static_cast<std::uint16_t>(d));
        ++n_;
        return;
      }
      widen();
    }
    wide_values_.push_back(v);
    ++n_;
  }

  // Moves the last block's entries to the side array (room for all 32 of
  // them); its bytes stay, as zeros. False, with nothing moved, when spills
  // have grown common enough that the column should turn half instead.
  bool spill_last_block() {
    const std::size_t blocks = bases_.size();
    if (spilled_blocks_ + 1 >= kSpillsBeforeHalf && (spilled_blocks_ + 1) * kHalfShare > blocks)
      return false;
    const std::size_t at = spill_.size();
    if (at + kByteMask + 1 >= kSpilled) return false;
    const std::size_t first = (blocks - 1) << kByteBlockBits;
    const std::uint32_t base = bases_.back();
    spill_.resize(at + kByteMask + 1, 0);
    for (std::size_t i = first; i < n_; ++i) {
      spill_[at + (i - first)] = base + bytes_[i];
      bytes_[i] = 0;
    }
    bases_.back() = kSpilled | static_cast<std::uint32_t>(at);
    ++spilled_blocks_;
    return true;
  }

  // Copies the entries to a half column with the same room reserved (which
  // may turn wide on the way) and takes its place.
  void to_half() {
    offset_column half;
    half.mode_ = kHalf;
    half.reserve(bytes_.capacity());
    for (std::size_t i = 0; i < n_; ++i) half.push_back((*this)[i]);
    *this = std::move(half);
  }

  // Copies the entries to 32 bits (keeping the room reserved) and frees the
  // half arrays.
  void widen() {
    std::vector<V> values;
    values.reserve(halves_.capacity());
    for (std::size_t i = 0; i < n_; ++i) values.push_back((*this)[i]);
    std::vector<std::uint16_t>().swap(halves_);
    std::vector<std::uint32_t>().swap(bases_);
    wide_values_.swap(values);
    mode_ = kWide;
  }

  mode mode_;
  std::size_t n_ = 0;
  // The base of the last block while it is an unspilled byte block, else
  // kNoTail: the inlined appends test this one member instead of the mode,
  // the last base and its spill flag.
  std::uint64_t tail_base_ = kNoTail;
  std::size_t spilled_blocks_ = 0;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint16_t> halves_;
  std::vector<std::uint32_t> bases_;  // per block: its first entry (or spill place)
  std::vector<std::uint32_t> spill_;  // spilled byte blocks, 32 entries each
  std::vector<V> wide_values_;
};
