// Out-of-core counting of one level. T is the dense item type, T1 the support
// type.
#include "engine/out_of_core_level.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <string>
#include <vector>

#include "dataset/temp_dataset.h"
#include "engine/pair_counting.h"
#include "util/error.h"
#include "util/output_file.h"
#include "util/stopwatch.h"

template <class T, class T1>
void candidate_store<T, T1>::count_contained_candidates(counting_transaction<T>& t,
                                                             std::uint8_t* flags) {
  const int len = t.length;
  const int k = this->k;
  const std::size_t step = static_cast<std::size_t>(k - 1);
  const std::uint64_t n = table_items;
  const T* e = t.elems.data();
  T* marks = t.marks.data();
  std::uint32_t* cnt = t.counters.data();
  const T* prefixes = this->prefixes.data();
  const T* suffixes = this->suffixes.data();
  const int* group_last = this->group_last.data();
  T1* supports = this->supports.data();
  const int n_lam = this->n_lam;

  for (int i = 0; i < len; ++i) marks[e[i]] = static_cast<T>(len - i);

  // Counts the suffixes of group g present in t; returns how many. Every suffix
  // of the group is larger than the prefix's last item, at position tail - 1,
  // so only the items from position tail on can match. A long group is searched
  // item by item of that tail (both ascend); a short one is scanned with marks.
  auto count_group = [&](std::size_t g, int tail) -> std::uint32_t {
    std::uint32_t found = 0;
    int s = g == 0 ? 0 : group_last[g - 1] + 1;
    const int last = group_last[g];
    auto hit = [&](int index, int position) {
      ++found;
      ++supports[index];
      ++cnt[position];
      for (int u = 0; u < n_lam; ++u)
        if (this->lam_flags[static_cast<std::size_t>(index) * n_lam + u]) flags[u] = 1;
    };
    if (last - s + 1 > 4 * (len - tail)) {
      for (int pos = tail; pos < len && s <= last; ++pos) {
        s = static_cast<int>(std::lower_bound(suffixes + s, suffixes + last + 1, e[pos]) -
                             suffixes);
        if (s <= last && suffixes[s] == e[pos]) hit(s++, pos);
      }
    } else {
      for (; s <= last; ++s) {
        const T m = marks[suffixes[s]];
        if (m != 0) hit(s, len - m);
      }
    }
    return found;
  };

  if (k == 3) {
    for (int i = 0; i + 2 < len; ++i) {
      const std::uint64_t row = pair_row(e[i], n) - 1;
      for (int j = i + 1; j + 1 < len; ++j) {
        std::size_t o, end;
        pair_range(e[i], e[j], row, &o, &end);
        std::uint32_t found = 0;
        for (; o < end; o += step) found += count_group(o / step, j + 1);
        cnt[i] += found;
        cnt[j] += found;
      }
    }
  } else {
    for (int i = 0; i + k <= len; ++i) {
      const std::uint64_t row = pair_row(e[i], n) - 1;
      for (int j = i + 1; j + k <= len + 1; ++j) {
        std::size_t o, end;
        pair_range(e[i], e[j], row, &o, &end);
        for (; o < end; o += step) {
          const T* pre = prefixes + o;
          const int m2 = static_cast<int>(marks[pre[2]]);
          if (m2 == 0) continue;
          // Groups of one pair ascend at position 2: once its item stands too
          // far right for the rest of a candidate, so do all later ones.
          if (m2 < k - 2) break;
          bool room = true;
          for (int q = 3; q <= k - 2; ++q)
            if (static_cast<int>(marks[pre[q]]) < k - q) {
              room = false;
              break;
            }
          if (!room) continue;
          const std::uint32_t found = count_group(o / step, len - marks[pre[k - 2]] + 1);
          if (found == 0) continue;
          cnt[i] += found;
          cnt[j] += found;
          for (int q = 2; q <= k - 2; ++q) cnt[len - marks[pre[q]]] += found;
        }
      }
    }
  }

  for (int i = 0; i < len; ++i) marks[e[i]] = 0;
}

template <class T, class T1>
void count_level_out_of_core(int k, int max_tr_len, item_table& items, candidate_store<T, T1>& candidates,
              frequent_level<T, T1>& level, bit_matrix<T>& vd,
              typed_constraints<T>& table) {
  stopwatch clock;
  clock.start();
  level.clear(k);
  const std::string tmp_name = TEMPORARY_DATASET;
  temp_dataset_reader<T> in(tmp_name);
  if (!in.is_open()) throw run_error(tmp_name + " could not be opened!");
  temp_dataset_writer<T> out(tmp_name, false);
  if (!out.is_open()) throw run_error(tmp_name + " could not be opened!");

  const bool vertical = vd.allocated();
  const std::uint32_t capacity = max_tr_len > 0 ? static_cast<std::uint32_t>(max_tr_len) : 1;
  counting_transaction<T> t(capacity, static_cast<std::uint32_t>(k), static_cast<int>(items.n_items));
  const bool map_changed = vertical && items.update_map();

  // A loose constraint whose satisfying itemsets need not have a satisfying
  // subset one item shorter cannot vouch for dropping a transaction: its flag
  // starts set, so it never empties one.
  const int n_lam = static_cast<int>(table.lam_table.size());
  std::vector<std::uint8_t> flag_start(n_lam), flags(n_lam);
  for (int u = 0; u < n_lam; ++u) flag_start[u] = table.lam_table[u]->prunes_transactions() ? 0 : 1;
  const std::uint32_t uk = static_cast<std::uint32_t>(k);

  // Items the previous level's global pruning kept: those of at least k-1 of
  // its stored itemsets. Read from the counts, not from unmap's -1 mark, which
  // input id 4294967295 shares.
  std::vector<std::uint8_t> kept_item(items.n_items);
  for (std::uint32_t x = 0; x < items.n_items; ++x)
    kept_item[x] = items.global_count[x] >= uk - 1 ? 1 : 0;

  std::uint64_t items_written = 0;
  std::uint32_t kept = 0;
  T* e = t.elems.data();
  std::uint32_t* cnt = t.counters.data();
  while (in.read_next(t)) {
    transaction_view<T> view{e, t.length};
    for (auto* m : table.m_table) {
      if (view.length < uk) break;
      m->process_transaction(view);
    }
    if (k == 3)
      for (std::size_t c = 0; c < table.cam_table.size(); ++c) {
        if (view.length < uk) break;
        // Only the constraint that set the item order may prune by that order.
        table.cam_table[c]->before_counting(view, k, c == 0);
      }
    if (view.length < uk) continue;

    std::uint32_t len = 0;
    for (std::uint32_t i = 0; i < view.length; ++i)
      if (kept_item[e[i]]) e[len++] = e[i];
    if (len < uk) continue;
    t.length = static_cast<T>(len);

    std::copy(flag_start.begin(), flag_start.end(), flags.begin());
    std::fill(cnt, cnt + len, 0u);
    candidates.count_contained_candidates(t, flags.data());

    // Local pruning: an item of a candidate of level k+1 contained in t belongs
    // to k of its k-subsets, each a candidate contained in t.
    std::uint32_t w = 0;
    for (std::uint32_t i = 0; i < len; ++i)
      if (cnt[i] >= uk) {
        e[w] = e[i];
        cnt[w] = cnt[i];
        ++w;
      }
    if (w <= uk) continue;
    view.length = w;

    for (std::size_t c = 0; c < table.cam_table.size(); ++c) {
      if (view.length < uk) break;
      table.cam_table[c]->after_counting(view, k, c == 0);
    }
    if (std::find(flags.begin(), flags.end(), 0) != flags.end()) continue;
    len = view.length;
    t.length = static_cast<T>(len);
    if (len <= uk) continue;

    if (!vertical) {
      out.write_record(e, t.length);
    } else {
      if (map_changed)
        for (std::uint32_t i = 0; i < len; ++i) e[i] = static_cast<T>(items.map[e[i]]);
      vd.add_transaction(e, len, kept);
    }
    ++kept;
    items_written += len;
  }
  if (!vertical) {
    if (out.trunc() != 0) throw run_error(tmp_name + " could not be written!");
    items.init_global_pruning();
    items.n_transactions = kept;
  }
  out.close();

  std::uint32_t lk = 0;
  if (candidates.n_itemsets > 0) {
    std::vector<T> cand(k), mapped(k);
    candidates.init_read_itemsets();
    const std::uint32_t min_count = items.min_count;
    for (int s; (s = candidates.next_itemset(cand.data())) >= 0;) {
      const T1 sup = candidates.supports[s];
      if (sup < min_count) continue;
      ++lk;
      if (!table.keeps(cand.data(), k)) continue;
      if (!vertical) {
        for (int q = 0; q < k; ++q) ++items.global_count[cand[q]];
        level.add_itemset(cand.data(), sup, table, &candidates, s);
      } else if (map_changed) {
        for (int q = 0; q < k; ++q) mapped[q] = static_cast<T>(items.map[cand[q]]);
        level.add_itemset(mapped.data(), sup, table, &candidates, s);
      } else {
        level.add_itemset(cand.data(), sup, table, &candidates, s);
      }
    }
  }
  if (map_changed) items.update_unmap(write_output);

  FSout fs(OUTF, k);
  const int rk = level_allowed(k) ? level.dump_itemsets(items, fs, table) : 0;
  fs.file.close();
  if (!vertical) items.end_global_pruning(uk);

  std::printf("%2d: \t hop  \t\t %6u \t %6u \t %6u \t %8u \t %8llu \t %8.2f\n", k,
              static_cast<unsigned>(candidates.n_itemsets), lk, static_cast<unsigned>(rk),
              items.n_transactions,
              static_cast<unsigned long long>(items_written * sizeof(T) / 1024),
              clock.seconds());
}

template void candidate_store<std::uint8_t, std::uint8_t>::count_contained_candidates(
    counting_transaction<std::uint8_t>&, std::uint8_t*);
template void candidate_store<std::uint8_t, std::uint16_t>::count_contained_candidates(
    counting_transaction<std::uint8_t>&, std::uint8_t*);
template void candidate_store<std::uint8_t, std::uint32_t>::count_contained_candidates(
    counting_transaction<std::uint8_t>&, std::uint8_t*);
template void candidate_store<std::uint16_t, std::uint8_t>::count_contained_candidates(
    counting_transaction<std::uint16_t>&, std::uint8_t*);
template void candidate_store<std::uint16_t, std::uint16_t>::count_contained_candidates(
    counting_transaction<std::uint16_t>&, std::uint8_t*);
template void candidate_store<std::uint16_t, std::uint32_t>::count_contained_candidates(
    counting_transaction<std::uint16_t>&, std::uint8_t*);
template void candidate_store<std::uint32_t, std::uint8_t>::count_contained_candidates(
    counting_transaction<std::uint32_t>&, std::uint8_t*);
template void candidate_store<std::uint32_t, std::uint16_t>::count_contained_candidates(
    counting_transaction<std::uint32_t>&, std::uint8_t*);
template void candidate_store<std::uint32_t, std::uint32_t>::count_contained_candidates(
    counting_transaction<std::uint32_t>&, std::uint8_t*);

template void count_level_out_of_core<std::uint8_t, std::uint8_t>(int, int, item_table&,
                                                   candidate_store<std::uint8_t, std::uint8_t>&,
                                                   frequent_level<std::uint8_t, std::uint8_t>&,
                                                   bit_matrix<std::uint8_t>&,
                                                   typed_constraints<std::uint8_t>&);
template void count_level_out_of_core<std::uint8_t, std::uint16_t>(int, int, item_table&,
                                                    candidate_store<std::uint8_t, std::uint16_t>&,
                                                    frequent_level<std::uint8_t, std::uint16_t>&,
                                                    bit_matrix<std::uint8_t>&,
                                                    typed_constraints<std::uint8_t>&);
template void count_level_out_of_core<std::uint8_t, std::uint32_t>(int, int, item_table&,
                                                    candidate_store<std::uint8_t, std::uint32_t>&,
                                                    frequent_level<std::uint8_t, std::uint32_t>&,
                                                    bit_matrix<std::uint8_t>&,
                                                    typed_constraints<std::uint8_t>&);
template void count_level_out_of_core<std::uint16_t, std::uint8_t>(int, int, item_table&,
                                                    candidate_store<std::uint16_t, std::uint8_t>&,
                                                    frequent_level<std::uint16_t, std::uint8_t>&,
                                                    bit_matrix<std::uint16_t>&,
                                                    typed_constraints<std::uint16_t>&);
template void count_level_out_of_core<std::uint16_t, std::uint16_t>(
    int, int, item_table&, candidate_store<std::uint16_t, std::uint16_t>&,
    frequent_level<std::uint16_t, std::uint16_t>&, bit_matrix<std::uint16_t>&,
    typed_constraints<std::uint16_t>&);
template void count_level_out_of_core<std::uint16_t, std::uint32_t>(
    int, int, item_table&, candidate_store<std::uint16_t, std::uint32_t>&,
    frequent_level<std::uint16_t, std::uint32_t>&, bit_matrix<std::uint16_t>&,
    typed_constraints<std::uint16_t>&);
template void count_level_out_of_core<std::uint32_t, std::uint8_t>(int, int, item_table&,
                                                    candidate_store<std::uint32_t, std::uint8_t>&,
                                                    frequent_level<std::uint32_t, std::uint8_t>&,
                                                    bit_matrix<std::uint32_t>&,
                                                    typed_constraints<std::uint32_t>&);
template void count_level_out_of_core<std::uint32_t, std::uint16_t>(
    int, int, item_table&, candidate_store<std::uint32_t, std::uint16_t>&,
    frequent_level<std::uint32_t, std::uint16_t>&, bit_matrix<std::uint32_t>&,
    typed_constraints<std::uint32_t>&);
template void count_level_out_of_core<std::uint32_t, std::uint32_t>(
    int, int, item_table&, candidate_store<std::uint32_t, std::uint32_t>&,
    frequent_level<std::uint32_t, std::uint32_t>&, bit_matrix<std::uint32_t>&,
    typed_constraints<std::uint32_t>&);
