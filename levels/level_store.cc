// Level stores: the prefix tree (or the flat prefixes of candidate stores),
// read walk, the group search and lookup (the lines are laid out by
// levels/line_writer.cc).
// T is the dense item type, T1 the support type.
#include "levels/level_store.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "levels/line_writer.h"
#include "util/huge_pages.h"
#include "util/widths.h"

template <class T, class T1>
level_store<T, T1>::level_store(int k, bool flat) : flat(flat), k(k) {
  clear(k);
}

template <class T, class T1>
void level_store<T, T1>::clear(int new_k) {
  std::vector<T>().swap(prefixes);
  // Depth k-2 has items only: its children's ends are group_last.
  const std::size_t depths = flat || new_k < 2 ? 0 : static_cast<std::size_t>(new_k - 1);
  std::vector<std::vector<T>>(depths).swap(node_items);
  last_prefix.assign(depths, 0);
  std::vector<offset_column<std::uint32_t>>(depths > 0 ? depths - 1 : 0).swap(node_ends);
  group_last = offset_column<int>(flat);
  std::vector<T>().swap(suffixes);
  supports = support_column<T1>();
  keys = key_column();
  std::vector<bool>().swap(loose_flags);
  loose_path_.stop();
  n_loose = 0;
  k = new_k;
  read_pos = -1;
  cur_group = 0;
  cur_first = 0;
  cur_last = 0;
  n_itemsets = 0;
  joins_itemsets_ = -1;
}

template <class T, class T1>
std::uint64_t level_store<T, T1>::joins() const {
  // A store only grows between clears: the same counts mean the same groups.
  if (joins_itemsets_ == n_itemsets && joins_groups_ == number_of_groups()) return joins_;
  const std::uint64_t joins =
      group_last.pairs_in_steps(0, static_cast<std::size_t>(number_of_groups()), -1);
  joins_ = joins;
  joins_itemsets_ = n_itemsets;
  joins_groups_ = number_of_groups();
  return joins;
}

template <class T, class T1>
void level_store<T, T1>::reserve_for_joins(const level_store& previous, bool with_keys,
                                           std::uint64_t budget_bytes) {
  assert(k == previous.k + 1 && n_itemsets == 0 && !flat && !previous.flat);
  // A group of m itemsets gives m(m-1)/2 itemsets in m-1 groups.
  const std::uint64_t itemsets = previous.joins();
  const std::uint64_t groups = static_cast<std::uint64_t>(previous.n_itemsets) -
                               static_cast<std::uint64_t>(previous.number_of_groups());
  // Above the groups, the tree of this level's prefixes is a part of previous's:
  // a node of depth d here is one of depth d there.
  std::uint64_t upper_nodes = 0;
  for (const std::vector<T>& items : previous.node_items) upper_nodes += items.size();
  const std::uint64_t flag_bits = itemsets * static_cast<std::uint64_t>(previous.n_loose);
  const std::uint64_t per_itemset = sizeof(T) + sizeof(T1);
  // Records packed into the supports take no room of their own.
  with_keys = with_keys && !supports.packed();
  const std::uint64_t key_bytes = with_keys ? (itemsets + 1) / 2 : 0;
  // The node items and the narrow offsets of the groups and of the nodes above.
  const std::uint64_t offsets = offset_column<int>::narrow_bytes(groups) +
                                offset_column<std::uint32_t>::narrow_bytes(upper_nodes);
  if (itemsets * per_itemset + key_bytes + (groups + upper_nodes) * sizeof(T) + offsets +
          flag_bits / 8 >
      budget_bytes)
    return;
  for (std::size_t d = 0; d < previous.node_items.size(); ++d) {
    node_items[d].reserve(previous.node_items[d].size());
    node_ends[d].reserve(previous.node_items[d].size());
  }
  if (!node_items.empty()) node_items.back().reserve(groups);
  group_last.reserve(groups);
  suffixes.reserve(itemsets);
  supports.reserve(itemsets);
  if (with_keys) keys.reserve(itemsets);
  loose_flags.reserve(flag_bits);
  // The arrays fill from the front over the whole level. With huge pages each
  // would hold up to 2 MiB it has not reached yet (a level has a dozen of them,
  // twice while the level before is still read). The fills and the walks
  // move forward, and with 4 KiB pages user time stayed within noise.
  auto small = [](const auto& v) { keep_small_pages(v.data(), v.capacity() * sizeof(v[0])); };
  for (std::size_t d = 0; d < node_items.size(); ++d) small(node_items[d]);
  for (const offset_column<std::uint32_t>& ends : node_ends)
    keep_small_pages(ends.storage(), ends.storage_bytes());
  keep_small_pages(group_last.storage(), group_last.storage_bytes());
  small(suffixes);
  keep_small_pages(supports.data(), supports.entry_bytes());
  small(supports.heads());
  keep_small_pages(keys.data(), keys.capacity_bytes());
}

template <class T, class T1>
std::uint64_t level_store<T, T1>::bytes() const {
  std::uint64_t nodes = 0;
  for (const std::vector<T>& items : node_items) nodes += items.capacity() * sizeof(T);
  for (const offset_column<std::uint32_t>& ends : node_ends) nodes += ends.capacity_bytes();
  return nodes + (prefixes.capacity() + suffixes.capacity()) * sizeof(T) + keys.capacity_bytes() +
         group_last.capacity_bytes() + supports.capacity_bytes() + loose_flags.capacity() / 8;
}

template <class T, class T1>
int level_store<T, T1>::append_items(const T* itemset, T1 support) {
  const int width = k - 1;
  // Only the last path of the tree is compared: itemsets arrive in
  // lexicographic order, so an equal prefix can only be the last one.
  int shared = 0;
  if (n_itemsets > 0) {
    const T* last = flat ? prefixes.data() + prefixes.size() - width : last_prefix.data();
    shared = static_cast<int>(std::mismatch(itemset, itemset + width, last).first - itemset);
  }
  append_sharing(itemset, shared, support);
  return shared;
}

template <class T, class T1>
void level_store<T, T1>::append_sharing(const T* itemset, int shared, T1 support) {
  if (n_itemsets > 0 && shared >= k - 1)
    group_last.increment_back();
  else
    open_group(itemset, shared);
  suffixes.push_back(itemset[k - 1]);
  supports.push_back(support);
  ++n_itemsets;
}

template <class T, class T1>
void level_store<T, T1>::open_group(const T* itemset, int shared) {
  const int width = k - 1;
  if (flat) {
    prefixes.insert(prefixes.end(), itemset, itemset + width);
    group_last.push_back(n_itemsets);
    return;
  }
  if (n_itemsets == 0) shared = 0;
  // The arrays are reached through locals: the items stored are bytes on most
  // levels, and a byte stored may alias any member, which would be read again
  // after each store.
  std::vector<T>* items = node_items.data();
  offset_column<std::uint32_t>* ends = node_ends.data();
  T* last = last_prefix.data();
  // The last node above the new ones gains one child (its children ended at
  // the end of depth `shared`); each new node but the group has one child so
  // far, the new node below it.
  if (shared > 0) ends[shared - 1].increment_back();
  for (int d = shared; d < width; ++d) {
    const T x = itemset[d];
    if (d + 1 < width) ends[d].push_back(static_cast<std::uint32_t>(items[d + 1].size() + 1));
    items[d].push_back(x);
    last[d] = x;
  }
  group_last.push_back(n_itemsets);
}

template <class T, class T1>
void level_store<T, T1>::add_flags(const T* itemset, int shared, typed_constraints<T>& table) {
  const std::vector<loose_constraint<T>*>& loose = table.loose_table;
  n_loose = static_cast<int>(loose.size());
  loose_path_.resume(loose, k, shared);
  for (int u = 0; u < n_loose; ++u)
    loose_flags.push_back(loose_path_.holds(loose[u], static_cast<std::size_t>(u), itemset, k));
}

template <class T, class T1>
bool level_store<T, T1>::add_itemset(const T* itemset, T1 support, typed_constraints<T>& table,
                                     const level_store* flag_source, int source_index) {
  const int shared = append_items(itemset, support);
  if (flag_source != nullptr) {
    n_loose = static_cast<int>(table.loose_table.size());
    assert(flag_source->n_loose == n_loose);
    for (int u = 0; u < n_loose; ++u) loose_flags.push_back(flag_source->flag(source_index, u));
    loose_path_.stop();
  } else if (table.loose_table.empty()) {
    n_loose = 0;
  } else {
    add_flags(itemset, shared, table);
  }
  return n_itemsets == 1 || shared < k - 1;
}

// Flattened: the joins store every itemset through here, and the pushes
// within (of the tree's nodes, the groups' ends, the suffixes and supports)
// were calls of their own, four or five per itemset. Their rare cases stay
// out of line.
template <class T, class T1>
[[gnu::flatten]] void level_store<T, T1>::add_in_memory_sharing(const T* itemset, int shared,
                                                                T1 support,
                                                                typed_constraints<T>& table) {
  append_sharing(itemset, shared, support);
  if (table.stores_loose_flags()) add_flags(itemset, shared, table);
}

template <class T, class T1>
void level_store<T, T1>::add_itemset(const T* itemset, T1 support, const std::uint8_t* flags,
                                     int loose_count) {
  append_items(itemset, support);
  n_loose = loose_count;
  for (int u = 0; u < n_loose; ++u) loose_flags.push_back(flags[u] != 0);
  loose_path_.stop();
}

template <class T, class T1>
void level_store<T, T1>::append(const level_store& part) {
  assert(!flat && !part.flat && part.k == k);
  if (part.n_itemsets == 0) return;
  const int width = static_cast<int>(node_items.size());
  // part's first path continues this store's last one down to depth `shared`
  // (a join split inside a group continues it down to the group).
  int shared = 0;
  if (n_itemsets > 0)
    while (shared < width && node_items[shared].back() == part.node_items[shared][0]) ++shared;
  // Where part's node 0 of each depth lands: below `shared` it is this store's
  // last node there.
  std::vector<std::uint32_t> at(static_cast<std::size_t>(width));
  for (int d = 0; d < width; ++d)
    at[d] = static_cast<std::uint32_t>(node_items[d].size() - (d < shared ? 1 : 0));
  for (int d = 0; d + 1 < width; ++d) {
    const offset_column<std::uint32_t>& ends = part.node_ends[d];
    std::size_t i = 0;
    if (d < shared) node_ends[d].set_back(ends[i++] + at[d + 1]);
    node_ends[d].append_shifted(ends, i, at[d + 1]);
  }
  for (int d = 0; d < width; ++d)
    node_items[d].insert(node_items[d].end(), part.node_items[d].begin() + (d < shared ? 1 : 0),
                         part.node_items[d].end());
  std::size_t g = 0;
  if (n_itemsets > 0 && shared == width) group_last.set_back(n_itemsets + part.group_last[g++]);
  group_last.append_shifted(part.group_last, g, n_itemsets);
  suffixes.insert(suffixes.end(), part.suffixes.begin(), part.suffixes.end());
  if (part.supports.packed() == supports.packed()) {
    supports.append(part.supports);
    keys.append(part.keys);
  } else {
    // Laid out otherwise (a part begun before this store was cleared): entry
    // by entry. A packed store needs a record for each (the key mark where part
    // has none, which is always sound); a plain one keeps its records only
    // while they cover every itemset.
    const bool part_keys = part.has_keys();
    const bool records = supports.packed() || keys.size() == static_cast<std::size_t>(n_itemsets);
    for (std::size_t i = 0; i < static_cast<std::size_t>(part.n_itemsets); ++i) {
      supports.push_back(part.supports[i]);
      if (records) add_key(part_keys ? part.key(i) : key_column::kKey);
    }
  }
  loose_flags.insert(loose_flags.end(), part.loose_flags.begin(), part.loose_flags.end());
  loose_path_.stop();
  last_prefix = part.last_prefix;
  n_loose = part.n_loose;
  n_itemsets += part.n_itemsets;
}

template <class T, class T1>
void level_store<T, T1>::group_prefix(int g, T* out) const {
  const int width = k - 1;
  if (flat) {
    const T* p = prefixes.data() + static_cast<std::size_t>(g) * width;
    std::copy(p, p + width, out);
    return;
  }
  std::size_t n = static_cast<std::size_t>(g);
  for (int d = width - 1; d >= 0; --d) {
    out[d] = node_items[d][n];
    if (d > 0) n = node_ends[d - 1].upper_bound(static_cast<std::uint32_t>(n));
  }
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
  if (read_pos == cur_first) group_prefix(cur_group, buffer);
  buffer[k - 1] = suffixes[read_pos];
  return read_pos;
}

template <class T, class T1>
int frequent_level<T, T1>::find_group(const T* prefix) const {
  const int width = this->k - 1;
  std::size_t begin = 0, end = width > 0 ? this->node_items[0].size() : 0;
  long n = -1;
  for (int d = 0; d < width; ++d) {
    n = this->find_node(this->node_items[d].data(), begin, end, prefix[d]);
    if (n < 0) return -1;
    if (d + 1 < width) this->children(d, static_cast<std::size_t>(n), begin, end);
  }
  return width > 0 ? static_cast<int>(n) : (this->n_itemsets > 0 ? 0 : -1);
}

template <class T, class T1>
int frequent_level<T, T1>::find_in_group(int g, T last) const {
  int first, end;
  this->group_span(g, first, end);
  ++end;
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
bool frequent_level<T, T1>::lookup(const T* itemset, T1* support, std::uint8_t* key,
                                   int* index) const {
  if (this->n_itemsets == 0) return false;
  const int g = find_group(itemset);
  if (g < 0) return false;
  const int at = find_in_group(g, itemset[this->k - 1]);
  if (at < 0) return false;
  if (support != nullptr) *support = this->supports[at];
  if (key != nullptr)
    *key = this->supports.packed() || static_cast<std::size_t>(at) < this->keys.size()
               ? this->key(static_cast<std::size_t>(at))
               : key_column::kKey;
  if (index != nullptr) *index = at;
  return true;
}

template <class T, class T1>
int frequent_level<T, T1>::dump_itemsets(const item_table& items,
                                         const std::vector<std::uint32_t>& prefix_items,
                                         output_file& out, typed_constraints<T>& table,
                                         unsigned threads, std::atomic<int>* progress) const {
  return write_level_lines(*this, items, prefix_items, out, table, threads, progress);
}

template <class T, class T1>
int frequent_level<T, T1>::count_written(typed_constraints<T>& table) const {
  return count_level_lines(*this, table);
}

#define KESTREL_INSTANTIATE(T, T1)   \
  template class level_store<T, T1>; \
  template class frequent_level<T, T1>;
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
