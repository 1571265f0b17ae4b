// A hash map from large input ids to 32-bit values, for the ids that are too
// large for a table indexed directly by id (click-stream ids near 4e9).
//
// Open addressing with linear probing in one array of (key, value) slots whose
// size is a power of two, at most half full; key 0 marks a free slot, so 0 is
// never a key (the callers keep ids below a direct table's limit elsewhere).
// An entry costs 16 bytes at most, against about 50 for a node of
// std::unordered_map, and a lookup touches one cache line where a node-based
// map touches a bucket and a node. There is no erase: callers that drop an id
// store a value that says so.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "util/prefetch.h"

class id_map {
 public:
  struct slot {
    std::uint32_t key;
    std::uint32_t value;
  };

  // The value of key, inserted as 0 when absent. key != 0.
  std::uint32_t& operator[](std::uint32_t key) {
    assert(key != 0);
    if (2 * (size_ + 1) > slots_.size()) grow();
    std::size_t i = home(key);
    while (slots_[i].key != key) {
      if (slots_[i].key == 0) {
        slots_[i].key = key;
        ++size_;
        break;
      }
      i = (i + 1) & mask_;
    }
    return slots_[i].value;
  }

  // The value of key, or null when absent.
  const std::uint32_t* find(std::uint32_t key) const {
    if (size_ == 0 || key == 0) return nullptr;
    for (std::size_t i = home(key);; i = (i + 1) & mask_) {
      if (slots_[i].key == key) return &slots_[i].value;
      if (slots_[i].key == 0) return nullptr;
    }
  }

  // Fetches the home slot of key, so that the misses of several lookups overlap.
  KESTREL_PREFETCHER void prefetch(std::uint32_t key) const {
    if (!slots_.empty()) __builtin_prefetch(slots_.data() + home(key));
  }

  // Room for n keys without growing.
  void reserve(std::size_t n) {
    std::size_t want = 16;
    while (want < 2 * n) want *= 2;
    if (want > slots_.size()) rehash(want);
  }

  // Calls f(key, value) for every entry, in no particular order.
  template <class F>
  void for_each(F&& f) const {
    for (const slot& s : slots_)
      if (s.key != 0) f(s.key, s.value);
  }

  // Every value back to 0; the keys and the memory stay.
  void zero_values() {
    for (slot& s : slots_) s.value = 0;
  }

  void clear() {
    slots_.assign(slots_.size(), slot{0, 0});
    size_ = 0;
  }

  // Frees the memory.
  void release() {
    std::vector<slot>().swap(slots_);
    size_ = 0;
    mask_ = 0;
  }

  std::size_t size() const { return size_; }
  std::size_t bytes() const { return slots_.size() * sizeof(slot); }

 private:
  // Fibonacci hashing: the high bits of key times 2^32/phi pick the slot, so
  // ids that differ only in their high bits, or that ascend, still spread.
  std::size_t home(std::uint32_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
  }

  void grow() { rehash(slots_.empty() ? 16 : 2 * slots_.size()); }

  void rehash(std::size_t capacity) {
    std::vector<slot> old(capacity, slot{0, 0});
    old.swap(slots_);
    mask_ = capacity - 1;
    for (const slot& s : old) {
      if (s.key == 0) continue;
      std::size_t i = home(s.key);
      while (slots_[i].key != 0) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  std::vector<slot> slots_;
  std::size_t size_ = 0;
  std::size_t mask_ = 0;
};
