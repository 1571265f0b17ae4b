// Level stores: grouped prefix layout, read walk, join cursor, the group
// bisection, lookup and output.
// T is the dense item type, T1 the support type.
#include "levels/level_store.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "levels/output_line.h"
#include "util/widths.h"

template <class T, class T1>
level_store<T, T1>::level_store(int k) : k(k) {}

template <class T, class T1>
void level_store<T, T1>::clear(int new_k) {
  std::vector<T>().swap(prefixes);
  std::vector<int>().swap(group_last);
  std::vector<T>().swap(suffixes);
  std::vector<T1>().swap(supports);
  std::vector<T>().swap(keys);
  std::vector<bool>().swap(lam_flags);
  k = new_k;
  read_pos = -1;
  cur_group = 0;
  cur_first = 0;
  cur_last = 0;
  n_itemsets = 0;
}

template <class T, class T1>
void level_store<T, T1>::reserve_for_joins(const level_store& previous, bool with_keys,
                                           std::uint64_t budget_bytes) {
  assert(k == previous.k + 1 && n_itemsets == 0);
  std::uint64_t itemsets = 0, groups = 0;
  for (int g = 0; g < previous.number_of_groups(); ++g) {
    const std::uint64_t m =
        static_cast<std::uint64_t>(previous.group_last[g] - previous.group_first(g)) + 1;
    itemsets += m * (m - 1) / 2;
    groups += m - 1;
  }
  const std::uint64_t flag_bits = itemsets * static_cast<std::uint64_t>(previous.n_lam);
  const std::uint64_t per_itemset = sizeof(T) * (with_keys ? 2 : 1) + sizeof(T1);
  const std::uint64_t per_group = sizeof(T) * static_cast<std::uint64_t>(k - 1) + sizeof(int);
  if (itemsets * per_itemset + groups * per_group + flag_bits / 8 > budget_bytes) return;
  prefixes.reserve(groups * static_cast<std::size_t>(k - 1));
  group_last.reserve(groups);
  suffixes.reserve(itemsets);
  supports.reserve(itemsets);
  if (with_keys) keys.reserve(itemsets);
  lam_flags.reserve(flag_bits);
}

template <class T, class T1>
std::uint64_t level_store<T, T1>::bytes() const {
  return (prefixes.capacity() + suffixes.capacity() + keys.capacity()) * sizeof(T) +
         group_last.capacity() * sizeof(int) + supports.capacity() * sizeof(T1) +
         lam_flags.capacity() / 8;
}

template <class T, class T1>
void level_store<T, T1>::add_itemset(const T* itemset, T1 support, typed_constraints<T>& table,
                                     const level_store* flag_source, int source_index) {
  const std::size_t km1 = static_cast<std::size_t>(k - 1);
  // Only the last group is compared: itemsets arrive in lexicographic order, so
  // an equal prefix can only be the last one.
  bool same_group = false;
  if (n_itemsets > 0)
    same_group = std::equal(itemset, itemset + km1, prefixes.end() - static_cast<long>(km1));
  if (same_group) {
    ++group_last.back();
  } else {
    prefixes.insert(prefixes.end(), itemset, itemset + km1);
    group_last.push_back(n_itemsets);
  }
  suffixes.push_back(itemset[km1]);
  supports.push_back(support);
  ++n_itemsets;

  n_lam = static_cast<int>(table.lam_table.size());
  if (flag_source != nullptr) {
    assert(flag_source->n_lam == n_lam);
    for (int u = 0; u < n_lam; ++u) lam_flags.push_back(flag_source->flag(source_index, u));
  } else {
    for (int u = 0; u < n_lam; ++u) lam_flags.push_back(table.lam_table[u]->holds(itemset, k));
  }
}

template <class T, class T1>
void level_store<T, T1>::append(const level_store& part) {
  if (part.n_itemsets == 0) return;
  const std::size_t km1 = static_cast<std::size_t>(k - 1);
  // part's first group continues this store's last one when their prefixes are
  // equal (a join split inside a group never does that; a general caller may).
  std::size_t g0 = 0;
  if (n_itemsets > 0 &&
      std::equal(part.prefixes.begin(), part.prefixes.begin() + static_cast<long>(km1),
                 prefixes.end() - static_cast<long>(km1))) {
    group_last.back() += part.group_last[0] + 1;
    g0 = 1;
  }
  prefixes.insert(prefixes.end(), part.prefixes.begin() + static_cast<long>(g0 * km1),
                  part.prefixes.end());
  for (std::size_t g = g0; g < part.group_last.size(); ++g)
    group_last.push_back(n_itemsets + part.group_last[g]);
  suffixes.insert(suffixes.end(), part.suffixes.begin(), part.suffixes.end());
  supports.insert(supports.end(), part.supports.begin(), part.supports.end());
  keys.insert(keys.end(), part.keys.begin(), part.keys.end());
  lam_flags.insert(lam_flags.end(), part.lam_flags.begin(), part.lam_flags.end());
  n_lam = part.n_lam;
  n_itemsets += part.n_itemsets;
}

template <class T, class T1>
void level_store<T, T1>::init_read_itemsets() {
  read_pos = -1;
  cur_group = 0;
  cur_first = 0;
  cur_last = group_last.empty() ? -1 : group_last[0];
}

template <class T, class T1>
int level_store<T, T1>::next_itemset(T* buffer) {
  ++read_pos;
  if (read_pos > cur_last) {
    ++cur_group;
    if (cur_group >= number_of_groups()) return -1;
    cur_first = cur_last + 1;
    cur_last = group_last[cur_group];
  }
  if (read_pos == cur_first) {
    const T* p = prefixes.data() + static_cast<std::size_t>(cur_group) * (k - 1);
    std::copy(p, p + (k - 1), buffer);
  }
  buffer[k - 1] = suffixes[read_pos];
  return read_pos;
}

template <class T, class T1>
int frequent_level<T, T1>::find_group(const T* prefix, int from) const {
  const int km1 = this->k - 1;
  // Groups are in ascending prefix order: bisect over them.
  int lo = from, hi = this->number_of_groups() - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const T* p = this->prefixes.data() + static_cast<std::size_t>(mid) * km1;
    int q = 0;
    while (q < km1 && p[q] == prefix[q]) ++q;
    if (q == km1) return mid;
    if (p[q] < prefix[q])
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

template <class T, class T1>
int frequent_level<T, T1>::find_in_group(int g, T last) const {
  const int first = this->group_first(g), end = this->group_last[g] + 1;
  const T* suffixes = this->suffixes.data();
  if (end - first > 10) {
    const T* it = std::lower_bound(suffixes + first, suffixes + end, last);
    return it != suffixes + end && *it == last ? static_cast<int>(it - suffixes) : -1;
  }
  for (int s = first; s < end && suffixes[s] <= last; ++s)
    if (suffixes[s] == last) return s;
  return -1;
}

template <class T, class T1>
bool frequent_level<T, T1>::lookup(const T* itemset, T1* support, T* key, int* index) const {
  if (this->n_itemsets == 0) return false;
  const int g = find_group(itemset);
  if (g < 0) return false;
  const int at = find_in_group(g, itemset[this->k - 1]);
  if (at < 0) return false;
  if (support != nullptr) *support = this->supports[at];
  if (key != nullptr)
    *key = static_cast<std::size_t>(at) < this->keys.size() ? this->keys[at] : T(-1);
  if (index != nullptr) *index = at;
  return true;
}

template <class T, class T1>
int frequent_level<T, T1>::dump_itemsets(item_table& items,
                                         const std::vector<std::uint32_t>& prefix_items,
                                         output_file& out, typed_constraints<T>& table) {
  if (this->n_itemsets == 0) return 0;
  const int k = this->k;
  const int km1 = k - 1;
  std::vector<T> current(k);
  output_line line(items, prefix_items, k);
  // The prefix last laid out; n_items is an id no item has, so the first group
  // lays out its whole prefix and later groups only the part that differs.
  std::vector<std::uint32_t> prev(k, items.n_items);
  const bool no_filters = table.writes_everything();
  int written = 0;
  int first = 0;
  for (int g = 0; g < this->number_of_groups(); ++g) {
    const T* p = this->prefixes.data() + static_cast<std::size_t>(g) * km1;
    int shared = 0;
    while (shared < km1 && prev[shared] == p[shared]) ++shared;
    for (int q = shared; q < km1; ++q) {
      prev[q] = p[q];
      current[q] = p[q];
      line.set_item(q, p[q]);
    }
    const int last = this->group_last[g];
    for (int s = first; s <= last; ++s) {
      const T x = this->suffixes[s];
      if (!no_filters) {
        current[km1] = x;
        if (!table.writes(current.data(), k)) continue;
      }
      line.set_item(km1, x);
      line.write(out, this->supports[s]);
      ++written;
    }
    first = last + 1;
  }
  return written;
}

#define KESTREL_INSTANTIATE(T, T1)   \
  template class level_store<T, T1>; \
  template class frequent_level<T, T1>;
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
