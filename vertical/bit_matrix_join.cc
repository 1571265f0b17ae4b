// The compact and diffuse joins on the bit matrix. T is the dense item type,
// T1 the support type.
#include "vertical/bit_matrix_join.h"

#include <cstdint>
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/subset_cursor.h"
#include "util/widths.h"
#include "vertical/count_settling.h"

namespace {

// Decides, after a collecting level, whether shrinking the rows pays: the average
// intersection must be wide (over 4% of a row), pruning must save over 20% of the
// words, and half of this level's work must exceed one pass over the active rows.
// All in 32-bit words, compared exactly.
template <class T>
bool pruning_pays(const bit_matrix<T>& matrix, const intersection_stats& stats,
                  std::uint32_t active, std::uint32_t new_words) {
  const std::uint64_t total =
      static_cast<std::uint64_t>(stats.dense_ands) + static_cast<std::uint64_t>(stats.sparse_ands);
  if (total == 0) return false;
  const std::uint64_t W = matrix.n_words;
  const std::uint64_t avg = static_cast<std::uint64_t>(stats.word_ops / static_cast<double>(total));
  const std::uint64_t cost_pass = static_cast<std::uint64_t>(active) * W;
  const std::uint64_t cost_now = total * avg;
  return avg * 100 > 4 * W && static_cast<std::uint64_t>(new_words) * 10 < 8 * W &&
         cost_now / 2 > cost_pass;
}

template <class T, class T1, class Counts, bool kDiffuse>
class bit_matrix_join {
 public:
  using counts_policy = Counts;
  static constexpr bool kWithKeys = false;

  explicit bit_matrix_join(level_job<T, T1>& job)
      : run_(job.run()),
        matrix_(job.data().matrix),
        n_items_(job.items().n_items),
        min_count_(job.items().min_count) {}

  const char* label() const { return kDiffuse ? "zaxs" : "zaxd"; }

  void start_level(int k, const frequent_level<T, T1>& /*previous*/) {
    k_ = k;
    // One process's diffuse levels collect every second level.
    if (kDiffuse && Counts::kAtOnce) {
      matrix_.diffuse_collects = !matrix_.diffuse_collects;
      collect_ = matrix_.diffuse_collects;
    }
  }
  void start_walk() {
    if (Counts::kAtOnce) matrix_.start_iteration(k_, kDiffuse);
    if (collect_) matrix_.start_collecting(n_items_);
  }
  bool with_mask() const { return collect_; }
  bool flags_items() const { return collect_; }
  bool collects() const { return collect_; }
  void prepare(level_walker<T>& /*w*/) const {}

  // Counts the candidates of the groups of chunk into out, with the walker's
  // scratch, constraint clones, counters and (collecting) item flags. whole:
  // previous is all of its level, so candidates with a subset missing from it
  // are skipped uncounted; otherwise (a window read back) every candidate is
  // counted.
  void join(const frequent_level<T, T1>& previous, bool whole, level_walker<T>& w,
            const group_chunk& chunk, frequent_level<T, T1>& out) const {
    const int k = k_;
    const bool collect = collect_;
    convertible_constraint<T>* closer = w.table->order_setter();
    candidate_cursor<T, T1> cursor(previous, k, false, chunk.first_group, chunk.end_group,
                                   chunk.first_member, chunk.end_member, closer);
    if (!cursor.valid()) return;
    const T* cand = cursor.candidate();
    subset_cursor<T, T1> subsets(previous, k, closer);
    Counts counts(run_.peers, min_count_, k);
    const std::uint32_t threshold = counts.threshold();
    auto store = [&](const T* itemset, std::uint32_t count, no_payload, bool) {
      ++w.counters.frequent;
      out.add_in_memory(itemset, static_cast<T1>(count), *w.table);
      if (collect) {
        for (int q = 0; q < k; ++q) w.in_frequent_itemset[itemset[q]] = 1;
        ++w.first_item_counts[itemset[0]];
      }
    };
    do {
      ++w.counters.examined;
      if (!w.table->keeps(cand, k)) continue;
      if (whole && !subsets.others_stored(cursor)) continue;
      std::uint32_t count = 0;
      const int s = cursor.share_with_counted();
      const bool frequent =
          kDiffuse ? matrix_.candidate_is_frequent_diffuse(cand, s, k, threshold, count, w.stats,
                                                           collect, w.scratch)
                   : matrix_.candidate_is_frequent_compact(cand, s, k, threshold, count, w.scratch);
      if (!frequent) continue;
      counts.counted(cand, count, no_payload{}, store);
    } while (cursor.advance());
    counts.settle(store);
  }

  // After a collecting level the rows may shrink; the diffuse order is set
  // once.
  void end_level(const std::vector<level_walker<T>>& /*walkers*/, const intersection_stats& stats) {
    if (!kDiffuse || !Counts::kAtOnce) return;
    if (collect_) {
      const std::uint32_t active = matrix_.active_items();
      const std::uint32_t new_words = matrix_.check_pruning();
      if (pruning_pays(matrix_, stats, active, new_words)) {
        matrix_.keep_masked_transactions(new_words);
        matrix_.order_bits_diffuse();
        matrix_.diffuse_order_set = true;
      }
    }
    if (!matrix_.diffuse_order_set) {
      matrix_.order_bits_diffuse();
      matrix_.diffuse_order_set = true;
    }
  }

 private:
  run_context& run_;
  bit_matrix<T>& matrix_;
  std::uint32_t n_items_;
  std::uint32_t min_count_;
  int k_ = 0;
  bool collect_ = false;
};

template <class T, class T1, bool kDiffuse>
void build_with_kernel(level_job<T, T1>& job) {
  if (job.summed()) {
    bit_matrix_join<T, T1, summed_counts<T, T1, no_payload>, kDiffuse> join(job);
    job.build(join);
  } else {
    bit_matrix_join<T, T1, local_counts<T, T1, no_payload>, kDiffuse> join(job);
    job.build(join);
  }
}

}  // namespace

template <class T, class T1>
void build_bit_matrix_level(level_job<T, T1>& job, bool diffuse) {
  if (diffuse)
    build_with_kernel<T, T1, true>(job);
  else
    build_with_kernel<T, T1, false>(job);
}

#define KESTREL_INSTANTIATE(T, T1) \
  template void build_bit_matrix_level<T, T1>(level_job<T, T1>&, bool);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
