// The vertical dataset: the pruned database as one bit-vector per item.
//
// Row i belongs to the item with current dense id i; transaction position t is
// bit t of the row. The scan that fills the dataset (pair counting or an
// out-of-core pass) gives each kept transaction the next position and sets its
// bit in the row of each of its items. Supports are popcounts of row ANDs;
// intersections of a shared candidate prefix are cached and reused.
// T is the dense item type of the candidate arrays; the rows do not depend on it.
#pragma once

#include <cstdint>
#include <vector>

template <class T>
class ZAX_vertical_dataset {
 public:
  // Sets n_items, n_words = ceil(n_trans/32) and VD_size = n_items*n_words*4 and
  // tells whether VD_size < mem_total()/3.
  bool VD_can_be_allocated(std::uint32_t n_items, std::uint32_t n_trans);
  void init_VD();
  bool allocated() const { return !VD.empty() || (VD_size == 0 && is_allocated_); }
  // Sets the bit of transaction position tid in the row of each item.
  void add_transaction(const T* items, std::uint32_t length, std::uint32_t tid);
  int chk_compact_vertical(std::uint32_t n);

  std::uint64_t VD_size = 0;  // bytes of the bit matrix as 32-bit words
  std::vector<std::uint32_t> VD;
  std::uint32_t n_words = 0;
  std::uint32_t n_items = 0;
  int is_compact = 0;

 private:
  bool is_allocated_ = false;
};
