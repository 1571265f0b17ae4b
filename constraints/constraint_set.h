// The run's active constraints: what the command line asked for, as one value.
//
// Each command-line constraint is parsed by its keyword's row of the registry
// (constraints/registry.h) into one or two active instances (T = unsigned int, input item ids),
// filed here in one table per kind, in command-line order. The set owns them. Besides the tables it
// holds the "supseteq" items (prefix items, input ids, first-listed order) and the smallest
// "lenleq" bound, and answers the one question the length bound poses: may level k be mined and
// written?
//
// typed_constraints<T> holds the engine's clones for dense item type T, made
// from a set when mining starts, and answers keeps() and writes() for every level.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/summary_path.h"

class constraint_set {
 public:
  constraint_set() = default;
  ~constraint_set();
  constraint_set(const constraint_set&) = delete;
  constraint_set& operator=(const constraint_set&) = delete;
  constraint_set(constraint_set&& other) noexcept;
  constraint_set& operator=(constraint_set&& other) noexcept;

  // Parses one occurrence of keyword with its parameter text and files it.
  // Throws run_error(" ... Error in constraints!") for an unknown keyword and the
  // keyword's own one-line message for malformed parameters.
  void add(const std::string& keyword, const std::string& params);

  // The attribute rows the active instances read: ascending, distinct.
  std::vector<int> needed_attribute_rows() const;
  // Every active instance once, in the order convertible, loose, anti-monotone,
  // succinct, monotone (a two-half keyword files one object per half).
  std::vector<itemset_constraint<std::uint32_t>*> all() const;
  // The whole written itemset's test on input ids (level 0 and 1): every table in
  // the order anti-monotone, succinct, monotone, loose, convertible, stopping at
  // the first that fails.
  bool holds_all(const std::vector<std::uint32_t>& itemset) const;

  // The largest number of items beyond the prefix items a written itemset may
  // have: none without a "lenleq"; negative when the prefix alone is too long.
  std::optional<int> length_bound() const;
  // May level k (itemsets of k items beyond the prefix) be mined and written?
  bool level_allowed(int k) const { return !bound_.has_value() || (*bound_ >= 0 && k <= *bound_); }
  // True once level k is the last one the length bound lets be written.
  bool last_allowed_level(int k) const { return bound_.has_value() && k >= *bound_; }
  // Computes the length bound from lenleq_bound and prefix_items; call once
  // parsing is done (add() calls it after every keyword).
  void settle_length_bound();

  std::vector<anti_monotone_constraint<std::uint32_t>*> anti_monotone_table;
  std::vector<monotone_constraint<std::uint32_t>*> monotone_table;
  std::vector<succinct_constraint<std::uint32_t>*> succinct_table;
  std::vector<loose_constraint<std::uint32_t>*> loose_table;
  std::vector<convertible_constraint<std::uint32_t>*> convertible_table;
  std::vector<std::uint32_t> prefix_items;   // distinct, first-listed order
  std::optional<std::int64_t> lenleq_bound;  // the smallest "lenleq" parsed

 private:
  void free_instances();
  std::optional<int> bound_;
};

// Typed clones for the engine's item type T, made from a set (in table order);
// owns them.
template <class T>
class typed_constraints {
 public:
  typed_constraints() = default;  // no constraints
  explicit typed_constraints(const constraint_set& set);
  ~typed_constraints();
  typed_constraints(const typed_constraints&) = delete;
  typed_constraints& operator=(const typed_constraints&) = delete;
  // Another set of clones in the same state, for another thread (a test may
  // keep working state while it runs, so threads do not share one).
  std::unique_ptr<typed_constraints> copy() const;
  // Whether the itemset of n items stays in the level stores: every
  // anti-monotone constraint holds (table order, stopping at the first that
  // fails). A failing itemset has no satisfying superset, so it is neither
  // stored nor extended.
  bool keeps(const T* items, int n) {
    for (auto* c : anti_monotone_table)
      if (!c->holds(items, n)) return false;
    return true;
  }
  // Whether a kept itemset of n items is written: the prefix items pass every
  // succinct constraint, the loose constraints all hold (loose_hold: the
  // itemset's stored flags, all set) and every monotone and convertible
  // constraint holds, stopping at the first that fails.
  bool writes(const T* items, int n, bool loose_hold) {
    if (!loose_hold || !prefix_passes_succinct) return false;
    for (auto* c : monotone_table)
      if (!c->holds(items, n)) return false;
    for (auto* c : convertible_table)
      if (!c->holds(items, n)) return false;
    return true;
  }
  // The same for an itemset without stored flags: the loose constraints are
  // asked now.
  bool writes(const T* items, int n) {
    for (auto* c : loose_table)
      if (!c->holds(items, n)) return false;
    return writes(items, n, true);
  }
  // The convertible constraint that set the dense item order, or null: the
  // only one whose closes_extensions the joins may ask.
  convertible_constraint<T>* order_setter() const {
    return convertible_table.empty() ? nullptr : convertible_table.front();
  }
  // Writing a group: the itemsets of n items that share their first n-1
  // (items ascending in the dense order) and differ in the last, which
  // ascends. start_group decides once what holds for the whole group: a
  // monotone constraint that holds for the shared items holds for every
  // itemset of the group. Groups are started in the order of a walk: the
  // shared items are those of the group started before from position
  // `changed` on (0 for the walk's first group), which the convertible
  // constraints' tests along the walk (constraints/summary_path.h) take over
  // from group to group. A monotone constraint that summarises keeps the
  // summary of the shared items for the group, so that each of its itemsets
  // adds one value (on mushroom 400 "sumgeq" a walk across groups took 2.3 %
  // more instructions than sums of the dozen values an itemset holds there;
  // the summary is made once a group, as that sum was).
  void start_group(const T* items, int n_shared, int changed) {
    group_shared_ = n_shared;
    if (!loose_table.empty()) loose_path_.resume(loose_table, n_shared + 1, changed);
    monotone_hold_ = n_shared > 0 && !monotone_table.empty();
    if (convertible_table.empty() && monotone_table.empty()) return;
    start_ordered_and_monotone(items, n_shared, changed);
  }
  // Whether every itemset of the group is written without a test of its own.
  bool group_written_whole() const {
    return monotone_hold_ && prefix_passes_succinct && loose_table.empty() &&
           convertible_table.empty();
  }
  // writes() for an itemset of the group started (n = its n_shared + 1): 1
  // written, 0 not, -1 neither it nor any later itemset of the group. Along a
  // group with shared items the constraint that set the order, once it fails,
  // fails for every later last item too (its statistic only moves away from
  // the bound). loose: whether the loose constraints hold (the itemset's
  // stored flags), or null to ask them now (along the walk, as the
  // convertible constraints are).
  int writes_in_group(const T* items, int n, const bool* loose = nullptr) {
    if (!prefix_passes_succinct) return -1;
    if (!convertible_table.empty() &&
        !convertible_path_.holds(convertible_table.front(), 0, items, n))
      return group_shared_ > 0 ? -1 : 0;
    if (loose != nullptr) {
      if (!*loose) return 0;
    } else {
      for (std::size_t u = 0; u < loose_table.size(); ++u)
        if (!loose_path_.holds(loose_table[u], u, items, n)) return 0;
    }
    if (!monotone_hold_)
      for (std::size_t i = 0; i < monotone_table.size(); ++i) {
        const group_summary& g = monotone_groups_[i];
        if (g.column != nullptr ? !monotone_table[i]->holds_after(g.shared, g.column[items[n - 1]])
                                : !monotone_table[i]->holds(items, n))
          return 0;
      }
    for (std::size_t i = 1; i < convertible_table.size(); ++i)
      if (!convertible_path_.holds(convertible_table[i], i, items, n)) return 0;
    return 1;
  }
  // writes_in_group() for every itemset of the group started at once, when no
  // convertible constraint and no stored flag takes part and every test
  // summarises: items[0..n_shared) are the shared items, last[0..count) the
  // itemsets' last items; written[i] is set to 1 or 0. False (nothing set)
  // when the group needs writes_in_group() itemset by itemset.
  bool writes_each_in_group(const T* items, const T* last, int count, std::uint8_t* written) {
    if (!prefix_passes_succinct || !convertible_table.empty()) return false;
    const int n = group_shared_ + 1;
    for (std::size_t u = 0; u < loose_table.size(); ++u)
      if (loose_path_.column(u) == nullptr) return false;
    if (!monotone_hold_)
      for (const group_summary& g : monotone_groups_)
        if (g.column == nullptr) return false;
    std::fill(written, written + count, std::uint8_t{1});
    for (std::size_t u = 0; u < loose_table.size(); ++u) {
      const Summary* shared = loose_path_.summary_before_last(u, items, n);
      loose_table[u]->keep_after_each(*shared, loose_path_.column(u), last, count, written);
    }
    if (!monotone_hold_)
      for (std::size_t i = 0; i < monotone_table.size(); ++i) {
        const group_summary& g = monotone_groups_[i];
        monotone_table[i]->keep_after_each(g.shared, g.column, last, count, written);
      }
    return true;
  }
  // Whether the levels in memory store each itemset's loose flags when it is
  // joined: some loose constraint reads the values themselves (mean
  // deviation), a test the joins' threads share but the writer, on one thread
  // beside them, would make alone. Otherwise the writer asks the loose
  // constraints, a group at a time.
  bool stores_loose_flags() const { return stores_loose_flags_; }
  // No anti-monotone constraint: keeps() is always true.
  bool keeps_everything() const { return anti_monotone_table.empty(); }
  // No constraint that writes() asks: it is always true.
  bool writes_everything() const {
    return prefix_passes_succinct && monotone_table.empty() && convertible_table.empty() &&
           loose_table.empty();
  }

  std::vector<anti_monotone_constraint<T>*> anti_monotone_table;
  std::vector<monotone_constraint<T>*> monotone_table;
  std::vector<loose_constraint<T>*> loose_table;
  std::vector<convertible_constraint<T>*> convertible_table;
  // Succinct constraints have no clones: the first scan deleted every item
  // they refuse, so only the prefix items are left to pass them.
  bool prefix_passes_succinct = true;

 private:
  // A monotone constraint's state for the group started: when it summarises
  // (column set), the summary of the prefix values and of the shared items.
  struct group_summary {
    const std::uint32_t* column = nullptr;  // values by dense id
    std::uint32_t counted_value = 0;
    unsigned fields = 0;
    Summary root{}, shared{};
  };
  // start_group's steps for the convertible and monotone constraints.
  void start_ordered_and_monotone(const T* items, int n_shared, int changed) {
    if (!convertible_table.empty())
      convertible_path_.resume(convertible_table, n_shared + 1, changed);
    if (monotone_groups_.size() != monotone_table.size()) start_monotone_groups();
    for (std::size_t i = 0; i < monotone_table.size(); ++i) {
      group_summary& g = monotone_groups_[i];
      if (g.column == nullptr) {
        if (monotone_hold_ && !monotone_table[i]->holds(items, n_shared)) monotone_hold_ = false;
        continue;
      }
      g.shared = g.root;
      for (int j = 0; j < n_shared; ++j) {
        const Summary before = g.shared;
        fold_value(g.shared, before, g.column[items[j]], g.fields, g.counted_value);
      }
      if (monotone_hold_ && !monotone_table[i]->holds_summary(g.shared)) monotone_hold_ = false;
    }
  }
  void start_monotone_groups() {
    monotone_groups_.assign(monotone_table.size(), group_summary{});
    for (std::size_t i = 0; i < monotone_table.size(); ++i) {
      group_summary& g = monotone_groups_[i];
      auto* c = monotone_table[i];
      if (c->summarises(g.root, g.counted_value, g.fields) && c->attribute_values != nullptr)
        g.column = c->attribute_values->data();
    }
  }
  void settle_loose_flags();
  bool stores_loose_flags_ = false;
  int group_shared_ = 0;        // the items the group started shares
  bool monotone_hold_ = false;  // every monotone constraint holds for them
  std::vector<group_summary> monotone_groups_;
  // The tests along the groups written (start_group, writes_in_group).
  summary_path<T> convertible_path_;
  summary_path<T> loose_path_;
};
