// The line writer: lays a level store's accepted itemsets out as output
// lines, walking the prefix tree once, on one thread or several.
// T is the dense item type, T1 the support type.
#include "levels/line_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "levels/output_line.h"
#include "util/thread_runner.h"
#include "util/widths.h"

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
      if (store.n_itemsets >= kLinesForSupportTable) most = store.supports.most();
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
      if (d + 2 >= top_ && fits_runs(d)) {
        if (no_filters_) return write_below<false>(d, begin, end);
        return write_below<true>(d, begin, end);
      }
    }
    // Node n's children end where node n+1's begin.
    std::size_t children = d < top_ && begin < end ? node_ends_[d].before(begin) : 0;
    for (std::size_t n = begin; n < end; ++n) {
      current_[d] = node_items[n];
      if (d < changed_) changed_ = d;
      if constexpr (lays_out) {
        if (fetch_labels_) line_->prefetch_label(node_items[std::min(n + kNodesAhead, last_node)]);
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
  struct line_runs {
    const T* groups;  // the nodes of depth top_
    std::size_t last_group;
    const T* suffixes;
    const T1* supports;                  // entries: supports_mask takes the support out
    const std::uint32_t* support_heads;  // folded supports' heads (or null)
    T1 supports_mask;
    std::size_t last_suffix;
    output_line::run_writer lines;
    bool fetch;
    std::atomic<int>* progress;
  };

  line_runs runs() {
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
    return static_cast<int>(g) == next_group_
               ? static_cast<std::size_t>(next_first_)
               : static_cast<std::size_t>(store_.group_first(static_cast<int>(g)));
  }

  // Writes the accepted itemsets of groups [begin, end) (nodes of depth top_),
  // the first one starting at itemset `first`, which ends past the last one:
  // every itemset without a filter, else those mark_written marks (current_
  // holds the items above the groups). Their lines are laid out in runs of
  // output_line::kLinesPerRoom, which fit the sink's room (fits_runs). The
  // groups' labels go at byte group_at of the line.
  template <bool Filtered>
  [[gnu::always_inline]] void write_runs(const line_runs& c, std::size_t begin, std::size_t end,
                                         std::size_t group_at, std::size_t& first) {
    for (std::size_t n = begin; n < end; ++n) {
      if (c.progress != nullptr && (n & kProgressMask) == 0)
        c.progress->store(static_cast<int>(n), std::memory_order_release);
      if (c.fetch) line_->prefetch_label(c.groups[std::min(n + kNodesAhead, c.last_group)]);
      const std::size_t head = c.lines.set_label(group_at, c.groups[n]);
      const std::size_t line_room = head + output_line::run_writer::kPastHead;
      const std::size_t stop = static_cast<std::size_t>(group_ends_.at(n)) + 1;
      const std::uint8_t* marks = nullptr;
      if constexpr (Filtered) {
        current_[static_cast<std::size_t>(top_)] = c.groups[n];
        changed_ = std::min(changed_, top_);
        marks = mark_written(static_cast<int>(first), static_cast<int>(stop) - 1);
      }
      const std::size_t group_first = first;
      for (std::size_t s = first; s < stop;) {
        const std::size_t run = std::min(stop - s, output_line::kLinesPerRoom);
        char* const start = out_.room(run * line_room);
        char* p = start;
        for (const std::size_t run_end = s + run; s < run_end; ++s) {
          // Groups follow each other in the suffix array: fetch the label of
          // the suffix kSuffixesAhead on, whichever group it is in.
          if (c.fetch)
            line_->prefetch_label(c.suffixes[std::min(s + kSuffixesAhead, c.last_suffix)]);
          if constexpr (Filtered) {
            if (marks[s - group_first] == 0) continue;
            ++written_;
          }
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
  template <bool Filtered>
  [[gnu::always_inline]] void write_parents(const line_runs& c, std::size_t begin, std::size_t end,
                                            std::size_t parent_at, std::size_t& g0,
                                            std::size_t& first) {
    const int d = top_ - 1;
    const T* parents = store_.node_items[d].data();
    const std::size_t last_parent = store_.node_items[d].size() - 1;
    const std::size_t last_g1 = high_[top_] + 1;
    for (std::size_t n = begin; n < end; ++n) {
      if (c.fetch) line_->prefetch_label(parents[std::min(n + kNodesAhead, last_parent)]);
      const std::size_t group_at = c.lines.set_label(parent_at, parents[n]);
      const std::size_t g1 = std::min<std::size_t>(node_ends_[d].at(n), last_g1);
      if constexpr (Filtered) {
        current_[static_cast<std::size_t>(d)] = parents[n];
        changed_ = std::min(changed_, d);
      }
      write_runs<Filtered>(c, g0, g1, group_at, first);
      g0 = g1;
    }
  }

  // The walk's end for groups below nodes [begin, end) of depth d: d is top_
  // (the groups themselves), top_ - 1 (their parents) or top_ - 2 (their
  // grandparents). On deep levels each of these nodes has one or two
  // children: loops instead of a call per node. Filtered: a filter applies
  // (current_ holds the items above depth d).
  template <bool Filtered>
  void write_below(int d, std::size_t begin, std::size_t end) {
    if (begin >= end) return;
    const line_runs c = runs();
    // The first parent and the first group below node begin, within the walk's range.
    std::size_t p0 =
        d == top_ - 2 ? std::max<std::size_t>(node_ends_[d].before(begin), low_[top_ - 1]) : begin;
    std::size_t g0 =
        d == top_ ? begin : std::max<std::size_t>(node_ends_[top_ - 1].before(p0), low_[top_]);
    std::size_t first = first_of(g0);
    const std::size_t written_from = first;
    if (d == top_) {
      write_runs<Filtered>(c, begin, end, line_->head(top_), first);
      g0 = end;
    } else if (d == top_ - 1) {
      write_parents<Filtered>(c, begin, end, line_->head(d), g0, first);
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
        if constexpr (Filtered) {
          current_[static_cast<std::size_t>(d)] = nodes[m];
          changed_ = std::min(changed_, d);
        }
        write_parents<Filtered>(c, p0, p1, parent_at, g0, first);
        p0 = p1;
      }
      // The line's own positions follow the last nodes, as the walk's later
      // nodes expect.
      line_->set_item(d, nodes[end - 1]);
    }
    if (d < top_) line_->set_item(top_ - 1, store_.node_items[top_ - 1][p0 - 1]);
    if constexpr (!Filtered) written_ += static_cast<int>(first - written_from);
    next_group_ = static_cast<int>(g0);
    next_first_ = static_cast<int>(first);
  }

  // Groups between two reports of the walk's progress.
  static constexpr int kProgressMask = (1 << 10) - 1;

  // Which itemsets [first, last] of the group whose shared items current_
  // holds are written: entry s - first of the marks returned is 1 or 0.
  const std::uint8_t* mark_written(int first, int last) {
    const int km1 = k_ - 1;
    const T* suffixes = store_.suffixes.data();
    const int count = last - first + 1;
    if (written_each_.size() < static_cast<std::size_t>(count))
      written_each_.resize(static_cast<std::size_t>(count));
    std::uint8_t* marks = written_each_.data();
    table_.start_group(current_.data(), km1, changed_);
    changed_ = km1;
    if (table_.group_written_whole()) {
      std::fill(marks, marks + count, std::uint8_t{1});
      return marks;
    }
    // The loose constraints were asked when the itemsets were stored: their
    // flags answer for them. Without flags the whole group is tested at once
    // where it can be.
    const int n_loose = store_.n_loose;
    const bool flagged = n_loose > 0 && n_loose == static_cast<int>(table_.loose_table.size());
    if (!flagged && table_.writes_each_in_group(current_.data(), suffixes + first, count, marks))
      return marks;
    std::fill(marks, marks + count, std::uint8_t{0});
    for (int s = first; s <= last; ++s) {
      current_[km1] = suffixes[s];
      bool loose = true;
      for (int u = 0; flagged && loose && u < n_loose; ++u) loose = store_.flag(s, u);
      const int written = table_.writes_in_group(current_.data(), k_, flagged ? &loose : nullptr);
      if (written < 0) break;
      marks[s - first] = written > 0 ? 1 : 0;
    }
    return marks;
  }

  void write_group(int g) {
    if (progress_ != nullptr && (g & kProgressMask) == 0)
      progress_->store(g, std::memory_order_release);
    const int last = group_ends_.at(static_cast<std::size_t>(g));
    const T* suffixes = store_.suffixes.data();
    const support_column<T1>& supports = store_.supports;
    const std::size_t last_suffix = store_.suffixes.size() - 1;
    // Groups are written in order: this one starts where the last one ended,
    // without decoding the end of the group before it again.
    const int first = g == next_group_ ? next_first_ : store_.group_first(g);
    next_group_ = g + 1;
    next_first_ = last + 1;
    const std::uint8_t* marks = no_filters_ ? nullptr : mark_written(first, last);
    for (int s = first; s <= last; ++s) {
      // Groups follow each other in the suffix array: fetch the label of the
      // suffix kSuffixesAhead on, whichever group it is in.
      if (lays_out && fetch_labels_)
        line_->prefetch_label(
            suffixes[std::min(static_cast<std::size_t>(s) + kSuffixesAhead, last_suffix)]);
      if (marks != nullptr && marks[s - first] == 0) continue;
      if constexpr (lays_out) line_->write_last(out_, suffixes[s], supports[s]);
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
  bool fetch_labels_ = false;               // whether labels are fetched ahead
  std::vector<T> current_;                  // the itemset, filled when a filter reads it
  std::vector<std::uint8_t> written_each_;  // a group's verdicts, tested at once
  // The first position of current_'s shared items set since the last group
  // was started (the walk's tests take over what is before it).
  int changed_ = 0;
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
    V before(std::size_t n) const { return n == next_ ? last_ : n == 0 ? 0 : (*column_)[n - 1]; }

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
  return group_writer<T, T1, Sink>(store, items, prefix_items, table, out, progress).write(g0, g1);
}

}  // namespace

template <class T, class T1>
int write_level_lines(const level_store<T, T1>& store, const item_table& items,
                      const std::vector<std::uint32_t>& prefix_items, output_file& out,
                      typed_constraints<T>& table, unsigned threads, std::atomic<int>* progress) {
  if (store.n_itemsets == 0) return 0;
  const int n_groups = store.number_of_groups();
  threads = std::min<unsigned>(
      {threads, 64u, static_cast<unsigned>(store.n_itemsets / kItemsetsPerLayout)});
  if (threads <= 1)
    return write_groups(store, 0, n_groups, &items, prefix_items, table, out, progress);

  // Runs of whole groups of about kItemsetsPerLayout itemsets each.
  std::vector<int> cuts = {0};
  for (int g = 0; g < n_groups; ++g)
    if (store.group_last[g] + 1 - store.group_first(cuts.back()) >= kItemsetsPerLayout)
      cuts.push_back(g + 1);
  if (cuts.back() != n_groups) cuts.push_back(n_groups);
  const std::size_t runs = cuts.size() - 1;

  std::vector<std::unique_ptr<typed_constraints<T>>> clones;
  for (unsigned t = 0; t < threads; ++t)
    clones.push_back(table.writes_everything() ? nullptr : table.copy());
  // A round's runs are laid out into buffers of their own, then written in order.
  std::vector<line_buffer> buffers(threads);
  std::vector<int> counts(threads);
  int written = 0;
  for (std::size_t r = 0; r < runs; r += threads) {
    const unsigned batch = static_cast<unsigned>(std::min<std::size_t>(threads, runs - r));
    run_on_threads(batch, batch, [&](unsigned worker, work_items& round) {
      typed_constraints<T>& own = clones[worker] ? *clones[worker] : table;
      for (std::size_t u; round.next(u);) {
        buffers[u].bytes.clear();
        counts[u] = write_groups(store, cuts[r + u], cuts[r + u + 1], &items, prefix_items, own,
                                 buffers[u]);
      }
    });
    for (unsigned u = 0; u < batch; ++u) {
      out.write(buffers[u].bytes.data(), buffers[u].bytes.size());
      written += counts[u];
    }
  }
  return written;
}

template <class T, class T1>
int count_level_lines(const level_store<T, T1>& store, typed_constraints<T>& table) {
  if (store.n_itemsets == 0 || table.writes_everything()) return store.n_itemsets;
  no_lines none;
  const std::vector<std::uint32_t> no_prefix;
  return write_groups(store, 0, store.number_of_groups(), nullptr, no_prefix, table, none);
}

#define KESTREL_INSTANTIATE(T, T1)                                                    \
  template int write_level_lines(const level_store<T, T1>&, const item_table&,        \
                                 const std::vector<std::uint32_t>&, output_file&,     \
                                 typed_constraints<T>&, unsigned, std::atomic<int>*); \
  template int count_level_lines(const level_store<T, T1>&, typed_constraints<T>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
