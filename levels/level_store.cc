// Level stores: the prefix tree (or the flat prefixes of candidate stores),
// read walk, the group search, lookup and output.
// T is the dense item type, T1 the support type.
#include "levels/level_store.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>

#include "levels/output_line.h"
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
bool level_store<T, T1>::append_items(const T* itemset, T1 support) {
  const int width = k - 1;
  // Only the last path of the tree is compared: itemsets arrive in
  // lexicographic order, so an equal prefix can only be the last one.
  int shared = 0;
  if (n_itemsets > 0) {
    const T* last = flat ? prefixes.data() + prefixes.size() - width : last_prefix.data();
    shared = static_cast<int>(std::mismatch(itemset, itemset + width, last).first - itemset);
  }
  append_sharing(itemset, shared, support);
  return n_itemsets == 1 || shared < width;
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
void level_store<T, T1>::add_flags(const T* itemset, typed_constraints<T>& table) {
  n_loose = static_cast<int>(table.loose_table.size());
  for (int u = 0; u < n_loose; ++u) loose_flags.push_back(table.loose_table[u]->holds(itemset, k));
}

template <class T, class T1>
bool level_store<T, T1>::add_itemset(const T* itemset, T1 support, typed_constraints<T>& table,
                                     const level_store* flag_source, int source_index) {
  const bool opens_group = append_items(itemset, support);
  if (flag_source != nullptr) {
    n_loose = static_cast<int>(table.loose_table.size());
    assert(flag_source->n_loose == n_loose);
    for (int u = 0; u < n_loose; ++u) loose_flags.push_back(flag_source->flag(source_index, u));
  } else {
    add_flags(itemset, table);
  }
  return opens_group;
}

// Flattened: the joins store every itemset through here, and the pushes
// within (of the tree's nodes, the groups' ends, the suffixes and supports)
// were calls of their own, four or five per itemset. Their rare cases stay
// out of line.
template <class T, class T1>
[[gnu::flatten]] void level_store<T, T1>::add_itemset_sharing(const T* itemset, int shared,
                                                              T1 support,
                                                              typed_constraints<T>& table) {
  append_sharing(itemset, shared, support);
  // Without loose constraints there is no flag to store and n_loose stays 0.
  if (!table.loose_table.empty()) add_flags(itemset, table);
}

template <class T, class T1>
void level_store<T, T1>::add_itemset(const T* itemset, T1 support, const std::uint8_t* flags,
                                     int loose_count) {
  append_items(itemset, support);
  n_loose = loose_count;
  for (int u = 0; u < n_loose; ++u) loose_flags.push_back(flags[u] != 0);
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
    const bool records =
        supports.packed() || keys.size() == static_cast<std::size_t>(n_itemsets);
    for (std::size_t i = 0; i < static_cast<std::size_t>(part.n_itemsets); ++i) {
      supports.push_back(part.supports[i]);
      if (records) add_key(part_keys ? part.key(i) : key_column::kKey);
    }
  }
  loose_flags.insert(loose_flags.end(), part.loose_flags.begin(), part.loose_flags.end());
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

namespace {

// Lines laid out by one thread, written to the file in order afterwards.
struct line_buffer {
  static constexpr std::size_t kLineRoom = std::size_t(-1);
  std::string bytes;
  void write(const char* p, std::size_t n) { bytes.append(p, n); }
  char* room(std::size_t n) {
    end = bytes.size();
    bytes.resize(end + n);
    return &bytes[end];
  }
  void commit(std::size_t n) { bytes.resize(end + n); }
  std::size_t end = 0;
};

// Itemsets a thread lays out at a time: well under a megabyte of lines, since
// the buffers are held beside the level and the one built from it (with 65,536
// the buffers of two threads took 12 MB of mushroom sigma 200's 85 MB peak).
constexpr int kItemsetsPerLayout = 1 << 14;

// The sink of count_written: the itemsets are only counted, no line is laid out.
struct no_lines {};

// Lays out the accepted itemsets of groups [g0, g1) of store into out, walking
// the prefix tree depth first: each node's label is laid out once, when the walk
// enters it, and no step climbs back to find where a group's prefix changed.
template <class T, class T1, class Sink>
class group_writer {
 public:
  group_writer(const level_store<T, T1>& store, const item_table* items,
               const std::vector<std::uint32_t>& prefix_items, typed_constraints<T>& table,
               Sink& out, std::atomic<int>* progress = nullptr)
      : store_(store),
        k_(store.k),
        top_(store.k - 2),
        table_(table),
        no_filters_(table.writes_everything()),
        out_(out),
        progress_(progress),
        current_(static_cast<std::size_t>(store.k)),
        low_(static_cast<std::size_t>(std::max(top_ + 1, 0))),
        high_(low_.size()),
        group_ends_(store.group_last) {
    for (const offset_column<std::uint32_t>& ends : store.node_ends) node_ends_.emplace_back(ends);
    if constexpr (lays_out) {
      // The supports' text is tabled when the level has many lines per entry.
      T1 most = 0;
      if (store.n_itemsets >= kLinesForSupportTable)
        most = store.supports.most();
      line_.emplace(*items, prefix_items, store.k,
                    std::uint64_t{most} <= static_cast<std::uint64_t>(store.n_itemsets) ? most : 0);
      fetch_labels_ = line_->fetches_labels_ahead();
    }
  }

  // Returns how many itemsets were written.
  int write(int g0, int g1) {
    if (g0 >= g1) return 0;
    if (top_ < 0) {  // single items: one group without a prefix
      write_group(0);
      return written_;
    }
    // The nodes on the paths to groups g0 and g1-1 bound the walk at each depth.
    low_[top_] = static_cast<std::size_t>(g0);
    high_[top_] = static_cast<std::size_t>(g1 - 1);
    for (int d = top_ - 1; d >= 0; --d) {
      low_[d] = store_.node_ends[d].upper_bound(static_cast<std::uint32_t>(low_[d + 1]));
      high_[d] = store_.node_ends[d].upper_bound(static_cast<std::uint32_t>(high_[d + 1]));
    }
    visit(0, 0, store_.node_items[0].size());
    return written_;
  }

 private:
  static constexpr bool lays_out = !std::is_same<Sink, no_lines>::value;
  // How far ahead labels are fetched: with a million items each label read
  // misses the cache (a line takes tens of nanoseconds to lay out, a miss a
  // hundred or more), and a group holds a few suffixes only.
  static constexpr std::size_t kSuffixesAhead = 16;
  static constexpr std::size_t kNodesAhead = 8;
  // Levels with fewer lines format their supports one by one.
  static constexpr int kLinesForSupportTable = 4096;

  void visit(int d, std::size_t begin, std::size_t end) {
    begin = std::max(begin, low_[d]);
    end = std::min(end, high_[d] + 1);
    const T* node_items = store_.node_items[d].data();
    // The walk visits each depth's nodes in array order, so the labels of the
    // nodes kNodesAhead places on are the ones it lays out soon.
    const std::size_t last_node = store_.node_items[d].size() - 1;
    if constexpr (lays_out) {
      if (no_filters_ && d + 2 >= top_ && fits_runs(d)) return write_without_filter(d, begin, end);
    }
    // Node n's children end where node n+1's begin.
    std::size_t children = d < top_ && begin < end ? node_ends_[d].before(begin) : 0;
    for (std::size_t n = begin; n < end; ++n) {
      current_[d] = node_items[n];
      if constexpr (lays_out) {
        if (fetch_labels_)
          line_->prefetch_label(node_items[std::min(n + kNodesAhead, last_node)]);
        line_->set_item(d, node_items[n]);
      }
      if (d == top_) {
        write_group(static_cast<int>(n));
        continue;
      }
      const std::size_t children_end = node_ends_[d].at(n);
      visit(d + 1, children, children_end);
      children = children_end;
    }
  }

  // What the loops that lay out whole groups without a filter keep in
  // registers: the store's arrays and the line's pointers.
  struct run_context {
    const T* groups;  // the nodes of depth top_
    std::size_t last_group;
    const T* suffixes;
    const T1* supports;  // entries: supports_mask takes the support out
    const std::uint32_t* support_heads;  // folded supports' heads (or null)
    T1 supports_mask;
    std::size_t last_suffix;
    output_line::run_writer lines;
    bool fetch;
    std::atomic<int>* progress;
  };

  run_context runs() {
    return {store_.node_items[top_].data(),
            store_.node_items[top_].size() - 1,
            store_.suffixes.data(),
            store_.supports.data(),
            store_.supports.folded_heads(),
            store_.supports.mask(),
            store_.suffixes.size() - 1,
            line_->runs(),
            fetch_labels_,
            progress_};
  }

  // Whether runs of lines below a node of depth d fit the room a sink gives
  // (a very long list of prefix items does not).
  bool fits_runs(int d) const {
    const std::size_t longest = line_->head(d) +
                                static_cast<std::size_t>(top_ + 1 - d) * item_table::kLabelSlot +
                                output_line::run_writer::kPastHead;
    return longest * output_line::kLinesPerRoom <= Sink::kLineRoom;
  }

  // The first itemset of group g, which the walk reaches in order.
  std::size_t first_of(std::size_t g) const {
    return static_cast<int>(g) == next_group_ ? static_cast<std::size_t>(next_first_)
                                              : static_cast<std::size_t>(store_.group_first(
                                                    static_cast<int>(g)));
  }

  // Writes every itemset of groups [begin, end) (nodes of depth top_) without a
  // filter, the first one starting at itemset `first`, which ends past the last
  // one. Their lines are laid out in runs of output_line::kLinesPerRoom, which
  // fit the sink's room (fits_runs). The groups' labels go at byte group_at
  // of the line.
  [[gnu::always_inline]] void write_runs(const run_context& c, std::size_t begin, std::size_t end,
                                         std::size_t group_at, std::size_t& first) {
    for (std::size_t n = begin; n < end; ++n) {
      if (c.progress != nullptr && (n & kProgressMask) == 0)
        c.progress->store(static_cast<int>(n), std::memory_order_release);
      if (c.fetch) line_->prefetch_label(c.groups[std::min(n + kNodesAhead, c.last_group)]);
      const std::size_t head = c.lines.set_label(group_at, c.groups[n]);
      const std::size_t line_room = head + output_line::run_writer::kPastHead;
      const std::size_t stop = static_cast<std::size_t>(group_ends_.at(n)) + 1;
      for (std::size_t s = first; s < stop;) {
        const std::size_t run = std::min(stop - s, output_line::kLinesPerRoom);
        char* const start = out_.room(run * line_room);
        char* p = start;
        for (const std::size_t run_end = s + run; s < run_end; ++s) {
          // Groups follow each other in the suffix array: fetch the label of
          // the suffix kSuffixesAhead on, whichever group it is in.
          if (c.fetch)
            line_->prefetch_label(c.suffixes[std::min(s + kSuffixesAhead, c.last_suffix)]);
          const std::size_t entry = support_column<T1>::entry_at(c.support_heads, s);
          p = c.lines.lay_out(p, head, c.suffixes[s],
                              static_cast<T1>(c.supports[entry] & c.supports_mask));
        }
        out_.commit(static_cast<std::size_t>(p - start));
      }
      first = stop;
    }
  }

  // Writes the groups from g0 on below the parents [begin, end) (nodes of depth
  // top_ - 1), up to the walk's last group, the first one starting at itemset
  // `first`; the parents' labels go at byte parent_at of the line. g0 and
  // first end past the last group written.
  [[gnu::always_inline]] void write_parents(const run_context& c, std::size_t begin,
                                            std::size_t end, std::size_t parent_at,
                                            std::size_t& g0, std::size_t& first) {
    const int d = top_ - 1;
    const T* parents = store_.node_items[d].data();
    const std::size_t last_parent = store_.node_items[d].size() - 1;
    const std::size_t last_g1 = high_[top_] + 1;
    for (std::size_t n = begin; n < end; ++n) {
      if (c.fetch) line_->prefetch_label(parents[std::min(n + kNodesAhead, last_parent)]);
      const std::size_t group_at = c.lines.set_label(parent_at, parents[n]);
      const std::size_t g1 = std::min<std::size_t>(node_ends_[d].at(n), last_g1);
      write_runs(c, g0, g1, group_at, first);
      g0 = g1;
    }
  }

  // The walk's end for groups below nodes [begin, end) of depth d when no
  // filter applies: d is top_ (the groups themselves), top_ - 1 (their
  // parents) or top_ - 2 (their grandparents). On deep levels each of these
  // nodes has one or two children: loops instead of a call per node.
  void write_without_filter(int d, std::size_t begin, std::size_t end) {
    if (begin >= end) return;
    const run_context c = runs();
    // The first parent and the first group below node begin, within the walk's range.
    std::size_t p0 = d == top_ - 2
                         ? std::max<std::size_t>(node_ends_[d].before(begin), low_[top_ - 1])
                         : begin;
    std::size_t g0 =
        d == top_ ? begin : std::max<std::size_t>(node_ends_[top_ - 1].before(p0), low_[top_]);
    std::size_t first = first_of(g0);
    const std::size_t written_from = first;
    if (d == top_) {
      write_runs(c, begin, end, line_->head(top_), first);
      g0 = end;
    } else if (d == top_ - 1) {
      write_parents(c, begin, end, line_->head(d), g0, first);
      p0 = end;
    } else {
      const T* nodes = store_.node_items[d].data();
      const std::size_t last_node = store_.node_items[d].size() - 1;
      const std::size_t node_at = line_->head(d);
      const std::size_t last_p1 = high_[top_ - 1] + 1;
      for (std::size_t m = begin; m < end; ++m) {
        if (c.fetch) line_->prefetch_label(nodes[std::min(m + kNodesAhead, last_node)]);
        const std::size_t parent_at = c.lines.set_label(node_at, nodes[m]);
        const std::size_t p1 = std::min<std::size_t>(node_ends_[d].at(m), last_p1);
        write_parents(c, p0, p1, parent_at, g0, first);
        p0 = p1;
      }
      // The line's own positions follow the last nodes, as the walk's later
      // nodes expect.
      line_->set_item(d, nodes[end - 1]);
    }
    if (d < top_) line_->set_item(top_ - 1, store_.node_items[top_ - 1][p0 - 1]);
    written_ += static_cast<int>(first - written_from);
    next_group_ = static_cast<int>(g0);
    next_first_ = static_cast<int>(first);
  }

  // Groups between two reports of the walk's progress.
  static constexpr int kProgressMask = (1 << 10) - 1;

  void write_group(int g) {
    if (progress_ != nullptr && (g & kProgressMask) == 0)
      progress_->store(g, std::memory_order_release);
    const int km1 = k_ - 1;
    const int last = group_ends_.at(static_cast<std::size_t>(g));
    const T* suffixes = store_.suffixes.data();
    const support_column<T1>& supports = store_.supports;
    const std::size_t last_suffix = store_.suffixes.size() - 1;
    // Groups are written in order: this one starts where the last one ended,
    // without decoding the end of the group before it again.
    const int first = g == next_group_ ? next_first_ : store_.group_first(g);
    next_group_ = g + 1;
    next_first_ = last + 1;
    for (int s = first; s <= last; ++s) {
      const T x = suffixes[s];
      // Groups follow each other in the suffix array: fetch the label of the
      // suffix kSuffixesAhead on, whichever group it is in.
      if (lays_out && fetch_labels_)
        line_->prefetch_label(
            suffixes[std::min(static_cast<std::size_t>(s) + kSuffixesAhead, last_suffix)]);
      if (!no_filters_) {
        current_[km1] = x;
        if (!table_.writes(current_.data(), k_)) continue;
      }
      if constexpr (lays_out) line_->write_last(out_, x, supports[s]);
      ++written_;
    }
  }

  const level_store<T, T1>& store_;
  const int k_;
  const int top_;  // depth of the groups: k-2
  typed_constraints<T>& table_;
  const bool no_filters_;
  Sink& out_;
  std::atomic<int>* progress_;
  std::optional<output_line> line_;
  bool fetch_labels_ = false;  // whether labels are fetched ahead
  std::vector<T> current_;  // the itemset, filled when a filter reads it
  std::vector<std::size_t> low_, high_;
  int next_group_ = -1;  // the group after the last one written, and its first itemset
  int next_first_ = 0;
  int written_ = 0;

  // Reads an offset column in the walk's order: the walk visits the nodes of
  // each depth, and the groups, in ascending runs that mostly follow one
  // another, so a cursor per column reads each end by one step from the end
  // before it; it is placed again only where a run does not follow.
  template <class V>
  class ends_in_order {
   public:
    explicit ends_in_order(const offset_column<V>& column) : column_(&column), cursor_(column, 0) {}

    // Entry n.
    V at(std::size_t n) {
      if (n != next_) cursor_ = typename offset_column<V>::cursor(*column_, n);
      next_ = n + 1;
      return last_ = cursor_.next();
    }
    // Entry n-1, 0 for n = 0 (where node n's children begin).
    V before(std::size_t n) const {
      return n == next_ ? last_ : n == 0 ? 0 : (*column_)[n - 1];
    }

   private:
    const offset_column<V>* column_;
    typename offset_column<V>::cursor cursor_;
    std::size_t next_ = 0;  // the entry the cursor reads next
    V last_ = 0;            // entry next_ - 1
  };
  std::vector<ends_in_order<std::uint32_t>> node_ends_;  // per depth above the groups
  ends_in_order<int> group_ends_;
};

template <class T, class T1, class Sink>
int write_groups(const level_store<T, T1>& store, int g0, int g1, const item_table* items,
                 const std::vector<std::uint32_t>& prefix_items, typed_constraints<T>& table,
                 Sink& out, std::atomic<int>* progress = nullptr) {
  return group_writer<T, T1, Sink>(store, items, prefix_items, table, out, progress)
      .write(g0, g1);
}

}  // namespace

template <class T, class T1>
int frequent_level<T, T1>::dump_itemsets(const item_table& items,
                                         const std::vector<std::uint32_t>& prefix_items,
                                         output_file& out, typed_constraints<T>& table,
                                         unsigned threads, std::atomic<int>* progress) const {
  if (this->n_itemsets == 0) return 0;
  const int n_groups = this->number_of_groups();
  threads = std::min<unsigned>(
      {threads, 64u, static_cast<unsigned>(this->n_itemsets / kItemsetsPerLayout)});
  if (threads <= 1)
    return write_groups(*this, 0, n_groups, &items, prefix_items, table, out, progress);

  // Runs of whole groups of about kItemsetsPerLayout itemsets each.
  std::vector<int> cuts = {0};
  for (int g = 0; g < n_groups; ++g)
    if (this->group_last[g] + 1 - this->group_first(cuts.back()) >= kItemsetsPerLayout)
      cuts.push_back(g + 1);
  if (cuts.back() != n_groups) cuts.push_back(n_groups);
  const std::size_t runs = cuts.size() - 1;

  std::vector<std::unique_ptr<typed_constraints<T>>> clones;
  for (unsigned t = 0; t < threads; ++t)
    clones.push_back(table.writes_everything() ? nullptr : table.copy());
  std::vector<line_buffer> buffers(threads);
  std::vector<int> counts(threads);
  std::vector<std::exception_ptr> errors(threads);
  auto lay_out = [&](unsigned t, std::size_t run) {
    try {
      buffers[t].bytes.clear();
      typed_constraints<T>& own = clones[t] ? *clones[t] : table;
      counts[t] =
          write_groups(*this, cuts[run], cuts[run + 1], &items, prefix_items, own, buffers[t]);
    } catch (...) {
      errors[t] = std::current_exception();
    }
  };
  int written = 0;
  // Rounds of one run per thread; the runs of a round are written in order.
  for (std::size_t r = 0; r < runs; r += threads) {
    const unsigned batch = static_cast<unsigned>(std::min<std::size_t>(threads, runs - r));
    std::vector<std::thread> started;
    unsigned t = 1;
    try {
      for (; t < batch; ++t) started.emplace_back(lay_out, t, r + t);
    } catch (const std::system_error&) {
      // A thread the system refuses: its runs are laid out here.
    }
    lay_out(0, r);
    for (unsigned u = t; u < batch; ++u) lay_out(u, r + u);
    for (std::thread& th : started) th.join();
    for (unsigned u = 0; u < batch; ++u) {
      if (errors[u]) std::rethrow_exception(errors[u]);
      out.write(buffers[u].bytes.data(), buffers[u].bytes.size());
      written += counts[u];
    }
  }
  return written;
}

template <class T, class T1>
int frequent_level<T, T1>::count_written(typed_constraints<T>& table) const {
  if (this->n_itemsets == 0 || table.writes_everything()) return this->n_itemsets;
  no_lines none;
  const std::vector<std::uint32_t> no_prefix;
  return write_groups(*this, 0, this->number_of_groups(), nullptr, no_prefix, table, none);
}

#define KESTREL_INSTANTIATE(T, T1)   \
  template class level_store<T, T1>; \
  template class frequent_level<T, T1>;
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
