// The level-wise search after the first scan. T is the dense item type, T1 the
// support type.
#include "engine/level_driver.h"

#include <memory>
#include <utility>

#include "constraints/constraint.h"
#include "engine/candidates.h"
#include "engine/hop_iter.h"
#include "engine/itemset_store.h"
#include "engine/pair_counting.h"
#include "vertical/vertical_dataset.h"
#include "vertical/vertical_iterations.h"

namespace {

// True once level k is the last one the length bound lets be written: levels
// beyond it are neither mined nor written.
bool bound_reached(int k) { return GLOBAL_MAXIMUM_LENGTH != -1 && k >= GLOBAL_MAXIMUM_LENGTH; }

}  // namespace

template <class T, class T1>
void following_scans(int max_tr_len, zax_items& items, int hop) {
  GLOBAL_TABLE_K<T> table;
  table.take_active_constraints();
  // Nothing of two or more items may be written: no pass is worth running.
  if (!level_allowed(2)) return;

  int k = 2;
  ZAX_vertical_dataset<T> vd;
  bool vertical = false;
  if (hop <= 2 && vd.VD_can_be_allocated(items.n_items, items.n_transactions)) {
    vd.init_VD();
    vertical = true;
  }

  auto pairs = std::make_unique<cand_2_iter<T1>>(items.n_items);
  std::unique_ptr<set_of_frequents<T, T1>> level =
      second_scan<T, T1>(max_tr_len, items, *pairs, vd, table);
  if (level->n_itemsets < 3 || bound_reached(k)) return;

  auto candidates = std::make_unique<HOP_candidates<T, T1>>(k);
  while (!vertical) {
    ++k;
    // From level hop on, the pass of level k fills the bit matrix instead of
    // rewriting the file once the pruned data fits the memory rule.
    if (hop <= k && vd.VD_can_be_allocated(items.n_kept, items.n_transactions)) {
      vd.init_VD();
      vertical = true;
    }
    gen_candidates<T, T1>(*level, *candidates, items, k, pairs.get(), table);
    if (candidates->n_itemsets == 0) return;
    if (k == 3) pairs.reset();
    HOP_iter<T, T1>(k, max_tr_len, items, *candidates, *level, vd, table);
    if (level->n_itemsets < k + 1 || bound_reached(k)) return;
  }

  candidates.reset();
  pairs.reset();
  vd.chk_compact_vertical(items.n_kept);
  level->keys.assign(static_cast<std::size_t>(level->n_itemsets), static_cast<T>(-1));
  auto next = std::make_unique<set_of_frequents<T, T1>>(k);
  using iteration = void (*)(int, zax_items&, set_of_frequents<T, T1>&, set_of_frequents<T, T1>&,
                             ZAX_vertical_dataset<T>&, GLOBAL_TABLE_K<T>&);
  iteration variant = items.dense_support_pct > 20.0 ? &ZAX_iter_compact_key<T, T1>
                      : vd.is_compact == 1           ? &ZAX_iter_compact<T, T1>
                                                     : &ZAX_iter_diffuse<T, T1>;
  while (true) {
    ++k;
    variant(k, items, *level, *next, vd, table);
    if (next->n_itemsets < k || bound_reached(k)) return;
    std::swap(level, next);
  }
}

template void following_scans<std::uint8_t, std::uint8_t>(int, zax_items&, int);
template void following_scans<std::uint8_t, std::uint16_t>(int, zax_items&, int);
template void following_scans<std::uint8_t, std::uint32_t>(int, zax_items&, int);
template void following_scans<std::uint16_t, std::uint8_t>(int, zax_items&, int);
template void following_scans<std::uint16_t, std::uint16_t>(int, zax_items&, int);
template void following_scans<std::uint16_t, std::uint32_t>(int, zax_items&, int);
template void following_scans<std::uint32_t, std::uint8_t>(int, zax_items&, int);
template void following_scans<std::uint32_t, std::uint16_t>(int, zax_items&, int);
template void following_scans<std::uint32_t, std::uint32_t>(int, zax_items&, int);
