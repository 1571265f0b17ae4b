#include "engine/pair_prefix_index.h"

#include <cassert>

void pair_prefix_index::reset(std::uint64_t n_pairs) {
  const std::uint64_t n = slots_for(n_pairs);
  slots_.assign(n, slot{kEmpty, 0, 0});
  mask_ = n - 1;
  shift_ = 64;
  for (std::uint64_t s = n; s > 1; s /= 2) --shift_;
}

void pair_prefix_index::add(std::uint64_t a, std::uint64_t b, std::uint32_t begin,
                            std::uint32_t end) {
  assert(a < b);
  const std::uint64_t key = a << 32 | b;
  std::uint64_t s = home(key);
  while (slots_[s].key != kEmpty) {
    assert(slots_[s].key != key);
    s = (s + 1) & mask_;
  }
  slots_[s] = slot{key, begin, end};
}

void pair_prefix_index::release() {
  slots_.clear();
  slots_.shrink_to_fit();
  mask_ = 0;
  shift_ = 64;
}
