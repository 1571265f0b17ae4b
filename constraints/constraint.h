// The constraint interface, its five kinds and the run-wide constraint tables.
//
// A constraint object plays one of three roles, all of the same classes:
//   - prototype: one per keyword in GLOBAL_TABLE (T = unsigned int), used only to
//     parse a command-line occurrence of its keyword;
//   - active instance: made by parse_parameters, filed in one kind table, works on
//     input item ids during the first scan and the Winnow passes;
//   - typed clone: made for the engine's item type T when mining starts, filed in
//     typed_constraints<T>, works on dense item ids.
// T is the item type (uint8_t, uint16_t or uint32_t). Attribute columns are owned
// by the attribute table (dataset/attributes.h); constraints only point to them.
//
// Every holds answers for the whole written itemset: the keyword's test on
// the values of every item of the output line, the tested items together with
// prefix_items (the "supseteq" items; see the README's "Output" section), in
// exact integer arithmetic. Only the first
// convertible constraint may rely on the item order; every other test reads all
// items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/transaction.h"

template <class T>
class Constraint {
 public:
  virtual ~Constraint() = default;

  // Parses one command-line parameter text, creates and files the active
  // instance(s) and returns the one the driver inspects. Malformed text throws
  // run_error with a one-line message. Only prototypes (T = unsigned int) parse.
  virtual Constraint<std::uint32_t>* parse_parameters(const char* params) = 0;
  const char* keyword() const { return label; }
  int attribute_row() const { return attribute; }
  void bind_column(std::vector<std::uint32_t>* column) { attribute_values = column; }
  // Folds prefix_items into the constraint's state; runs once, after the column
  // is bound (with the column still indexed by input id).
  virtual void fold_prefix() {}
  // Whether the itemset of n items, together with the prefix items, satisfies
  // the constraint.
  virtual bool holds(const T* items, int n) = 0;
  bool holds(const std::vector<T>& itemset) {
    return holds(itemset.data(), static_cast<int>(itemset.size()));
  }
  virtual const char* usage() const { return "usage...."; }

  std::vector<std::uint32_t>* attribute_values = nullptr;
  const char* label = nullptr;
  int attribute = -1;
};

// Fails for every superset of a failing itemset: the engine drops failing
// candidates and never extends them.
template <class T>
class AntiMonotone : public virtual Constraint<T> {
 public:
  // First scan, input ids: may drop items that no satisfying itemset holds.
  virtual void preprocess_transaction(transaction_view<T>& t) = 0;
  virtual AntiMonotone<std::uint8_t>* clone_am(std::uint8_t) const = 0;
  virtual AntiMonotone<std::uint16_t>* clone_am(std::uint16_t) const = 0;
  virtual AntiMonotone<std::uint32_t>* clone_am(std::uint32_t) const = 0;
  template <class U>
  AntiMonotone<U>* clone() const { return clone_am(U{}); }
};

// Holds for every superset of a satisfying itemset: prunes data, not candidates.
// process_transaction empties a transaction that, with the prefix items, cannot
// contain any satisfying itemset; it runs in the first scan and the Winnow
// passes (input ids) and in every counting pass of the engine (dense ids).
template <class T>
class Monotone : public virtual Constraint<T> {
 public:
  virtual void process_transaction(transaction_view<T>& t) = 0;
  // false when process_transaction must not run again on data that the first
  // scan already processed (the Winnow passes skip such a constraint).
  virtual bool reapplied_by_winnow() const { return true; }
  virtual Monotone<std::uint8_t>* clone_m(std::uint8_t) const = 0;
  virtual Monotone<std::uint16_t>* clone_m(std::uint16_t) const = 0;
  virtual Monotone<std::uint32_t>* clone_m(std::uint32_t) const = 0;
  template <class U>
  Monotone<U>* clone() const { return clone_m(U{}); }
};

// Decided item by item: enforced once by deleting items in the first scan.
// holds is false only when the prefix items already violate it.
template <class T>
class Succinct : public virtual Constraint<T> {
 public:
  // First scan, input ids: drops every item the constraint refuses.
  virtual void preprocess_transaction(transaction_view<T>& t) = 0;
};

// Anti-monotone over prefixes once items are ordered by the constraint's
// attribute (ascending: ascending values). The first constraint of
// GLOBAL_CAM_TABLE sets the dense item order; holds is exact in any order.
// before_counting/after_counting may empty or shorten a transaction only when
// order_holds (this constraint set the order) and only where no itemset of
// length >= k that satisfies the constraint can be lost.
template <class T>
class Convertible : public virtual Constraint<T> {
 public:
  virtual bool ascending() const = 0;
  virtual void before_counting(transaction_view<T>& t, int k, bool order_holds) = 0;
  virtual void after_counting(transaction_view<T>& t, int k, bool order_holds) = 0;
  virtual Convertible<std::uint8_t>* clone_cam(std::uint8_t) const = 0;
  virtual Convertible<std::uint16_t>* clone_cam(std::uint16_t) const = 0;
  virtual Convertible<std::uint32_t>* clone_cam(std::uint32_t) const = 0;
  template <class U>
  Convertible<U>* clone() const { return clone_cam(U{}); }
};

// Neither monotone nor anti-monotone; the engine stores one flag per itemset,
// writes only itemsets whose flags are all set, and (when prunes_transactions())
// drops transactions that contain no satisfying candidate of the current level.
template <class T>
class Loose : public virtual Constraint<T> {
 public:
  // true when every satisfying itemset of 4 or more items has a satisfying
  // subset one item shorter, given the current prefix state; only then may
  // out-of-core counting drop transactions on this constraint's account.
  virtual bool prunes_transactions() const = 0;
  virtual Loose<std::uint8_t>* clone_lam(std::uint8_t) const = 0;
  virtual Loose<std::uint16_t>* clone_lam(std::uint16_t) const = 0;
  virtual Loose<std::uint32_t>* clone_lam(std::uint32_t) const = 0;
  template <class U>
  Loose<U>* clone() const { return clone_lam(U{}); }
};

// Run-wide tables of the active instances (input ids), in command-line order.
extern std::vector<Constraint<std::uint32_t>*> GLOBAL_TABLE;  // the 35 prototypes
extern const unsigned GLOBAL_TABLE_LENGTH;
extern std::vector<AntiMonotone<std::uint32_t>*> GLOBAL_AM_TABLE;
extern std::vector<Monotone<std::uint32_t>*> GLOBAL_M_TABLE;
extern std::vector<Succinct<std::uint32_t>*> GLOBAL_SAM_TABLE;
extern std::vector<Loose<std::uint32_t>*> GLOBAL_LAM_TABLE;
extern std::vector<Convertible<std::uint32_t>*> GLOBAL_CAM_TABLE;

// The distinct "supseteq" items in first-listed order (input ids).
extern std::vector<std::uint32_t> prefix_items;
// The smallest "lenleq" bound parsed (every occurrence must hold); INT64_MAX when
// none was given.
extern std::int64_t LENLEQ_BOUND;
// Largest number of items a written itemset may have beyond the prefix items;
// -1 when unbounded. The driver sets it after parsing from LENLEQ_BOUND minus the
// number of prefix items; a value below -1 means nothing at all may be written.
extern int GLOBAL_MAXIMUM_LENGTH;

// Typed clones for the engine's item type T; owns them.
template <class T>
class typed_constraints {
 public:
  typed_constraints() = default;
  ~typed_constraints();
  typed_constraints(const typed_constraints&) = delete;
  typed_constraints& operator=(const typed_constraints&) = delete;
  // Clones every active instance of the global tables (in table order) and then
  // frees the active instances and empties the global tables.
  void take_active_constraints();

  // Whether the itemset of n items stays in the level stores: every
  // anti-monotone constraint holds (table order, stopping at the first that
  // fails). A failing itemset has no satisfying superset, so it is neither
  // stored nor extended.
  bool keeps(const T* items, int n) {
    for (auto* c : am_table)
      if (!c->holds(items, n)) return false;
    return true;
  }
  // Whether a kept itemset of n items is written: the prefix items pass every
  // succinct constraint, the loose constraints all hold (loose_hold: the
  // itemset's stored flags, all set) and every monotone and convertible
  // constraint holds, stopping at the first that fails.
  bool writes(const T* items, int n, bool loose_hold) {
    if (!loose_hold || !prefix_passes_succinct) return false;
    for (auto* c : m_table)
      if (!c->holds(items, n)) return false;
    for (auto* c : cam_table)
      if (!c->holds(items, n)) return false;
    return true;
  }
  // The same for an itemset without stored flags: the loose constraints are
  // asked now.
  bool writes(const T* items, int n) {
    for (auto* c : lam_table)
      if (!c->holds(items, n)) return false;
    return writes(items, n, true);
  }
  // No anti-monotone constraint: keeps() is always true.
  bool keeps_everything() const { return am_table.empty(); }
  // No constraint that writes() asks: it is always true.
  bool writes_everything() const {
    return prefix_passes_succinct && m_table.empty() && cam_table.empty() && lam_table.empty();
  }

  std::vector<AntiMonotone<T>*> am_table;
  std::vector<Monotone<T>*> m_table;
  std::vector<Loose<T>*> lam_table;
  std::vector<Convertible<T>*> cam_table;
  // Succinct constraints have no clones: the first scan deleted every item
  // they refuse, so only the prefix items are left to pass them.
  bool prefix_passes_succinct = true;
};

// Clears every global table (frees active instances, empties prefix_items,
// resets GLOBAL_MAXIMUM_LENGTH to -1). Prototypes stay. For tests and reruns.
void reset_constraint_tables();
