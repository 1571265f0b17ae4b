// Transaction operations never lose a satisfying itemset: randomised checks of
// PreProcessTransaction, ProcessTransaction, preCounting/postCounting and the
// loose property behind prunes_transactions(), against brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/monotone.h"
#include "constraints/test_support.h"

namespace {

using constraint_testing::bind_all;
using constraint_testing::parse;

// All subsets of t (as index masks), as item vectors.
std::vector<std::vector<std::uint32_t>> subsets(const std::vector<std::uint32_t>& t) {
  std::vector<std::vector<std::uint32_t>> all;
  for (std::uint32_t mask = 0; mask < (1u << t.size()); ++mask) {
    std::vector<std::uint32_t> s;
    for (std::size_t i = 0; i < t.size(); ++i)
      if (mask & (1u << i)) s.push_back(t[i]);
    all.push_back(s);
  }
  return all;
}

bool contains_all(const std::vector<std::uint32_t>& t, const std::vector<std::uint32_t>& s) {
  for (std::uint32_t x : s)
    if (std::find(t.begin(), t.end(), x) == t.end()) return false;
  return true;
}

// Item ids 0..n-1 with values in the given order; prefix items take ids 40...
std::vector<std::uint32_t> random_column(std::mt19937& rng, std::uint32_t max_value) {
  std::vector<std::uint32_t> column(44);
  for (auto& v : column) v = rng() % (max_value + 1);
  return column;
}

TEST(ConstraintPruning, FirstScanFiltersKeepEverySatisfyingItemset) {
  const char* texts[][2] = {
      {"sumleq", "[0,T]"}, {"sumgeq", "[0,T]"},   {"lengeq", "[L]"},     {"acountgeq", "[0,2,2]"},
      {"minleq", "[0,T]"}, {"rangegeq", "[0,T]"}, {"maxgeq", "[0,T]"},   {"asupseteq", "[0,1,3]"},
      {"mingeq", "[0,T]"}, {"maxleq", "[0,T]"},   {"asubseteq", "[0,1,2,5]"},
  };
  std::mt19937 rng(7);
  for (auto& kt : texts) {
    for (int round = 0; round < 60; ++round) {
      reset_constraint_tables();
      std::vector<std::uint32_t> column = random_column(rng, 8);
      const int n_prefix = static_cast<int>(rng() % 3);
      for (int i = 0; i < n_prefix; ++i) prefix_items.push_back(40 + static_cast<std::uint32_t>(i));
      std::string text = kt[1];
      std::size_t at = text.find('T');
      if (at != std::string::npos) text.replace(at, 1, std::to_string(rng() % 20));
      at = text.find('L');
      if (at != std::string::npos) text.replace(at, 1, std::to_string(rng() % 6));
      Constraint<std::uint32_t>* c = parse(kt[0], text);
      bind_all(&column);
      std::vector<std::uint32_t> t;
      const int size = static_cast<int>(rng() % 7);
      while (static_cast<int>(t.size()) < size) {
        std::uint32_t id = rng() % 40;
        if (std::find(t.begin(), t.end(), id) == t.end()) t.push_back(id);
      }
      std::vector<std::uint32_t> pre = t, proc = t;
      for (auto* m : GLOBAL_AM_TABLE) m->PreProcessTransaction(pre);
      for (auto* m : GLOBAL_SAM_TABLE) m->PreProcessTransaction(pre);
      for (auto* m : GLOBAL_M_TABLE) {
        if (!pre.empty()) m->PreProcessTransaction(pre);
        Transaction<std::uint32_t> rec{static_cast<std::uint32_t>(proc.size()), proc.data()};
        m->ProcessTransaction(rec);
        proc.resize(rec.length);
      }
      for (const auto& s : subsets(t)) {
        if (s.empty() || !c->testItemset(s)) continue;
        EXPECT_TRUE(contains_all(pre, s)) << kt[0] << " " << text << " lost by PreProcess";
        if (!GLOBAL_M_TABLE.empty()) {
          EXPECT_TRUE(contains_all(proc, s)) << kt[0] << " " << text << " lost by Process";
        }
      }
    }
  }
  reset_constraint_tables();
}

TEST(ConstraintPruning, SumleqKeepsPrefixItemsForTheSupersetStep) {
  reset_constraint_tables();
  parse("supseteq", "[3]");
  parse("sumleq", "[0,15]");
  std::vector<std::uint32_t> column = {1, 9, 6, 10};
  bind_all(&column);
  std::vector<std::uint32_t> t = {0, 1, 2, 3};
  GLOBAL_AM_TABLE[0]->PreProcessTransaction(t);
  EXPECT_EQ(t, (std::vector<std::uint32_t>{0, 3}));  // 10 + 1 fits, 10 + 6 and 10 + 9 do not
  GLOBAL_M_TABLE[0]->PreProcessTransaction(t);
  EXPECT_EQ(t, (std::vector<std::uint32_t>{0}));
  reset_constraint_tables();
}

TEST(ConstraintPruning, SupseteqChecksAndStripsItsItemsOnce) {
  struct Case {
    std::vector<std::uint32_t> in, out;
  } cases[] = {
      {{7, 5, 1, 2}, {7, 1}}, {{7, 5, 1}, {}}, {{5}, {}}, {{2, 5}, {}}, {{9, 2, 8, 5}, {9, 8}},
  };
  reset_constraint_tables();
  parse("supseteq", "[5,2,5]");
  parse("supseteq", "[2]");  // already claimed: checks nothing more
  ASSERT_EQ(GLOBAL_M_TABLE.size(), 2u);
  EXPECT_FALSE(GLOBAL_M_TABLE[0]->reapplied_by_winnow());
  for (const Case& c : cases) {
    std::vector<std::uint32_t> t = c.in;
    for (auto* m : GLOBAL_M_TABLE)
      if (!t.empty()) m->PreProcessTransaction(t);
    EXPECT_EQ(t, c.out);
  }
  reset_constraint_tables();
}

// The dense order of the first convertible constraint: values ascending in id
// for ascOrder, descending otherwise.
TEST(ConstraintPruning, CountingHooksKeepEverySatisfyingItemset) {
  const char* keywords[] = {"avggeq2", "avgleq2", "minleq2", "maxgeq2",
                            "medgeq2", "medleq2", "rangeleq2"};
  std::mt19937 rng(11);
  for (const char* kw : keywords) {
    for (int round = 0; round < 300; ++round) {
      reset_constraint_tables();
      std::vector<std::uint32_t> column = random_column(rng, 12);
      const int n_prefix = static_cast<int>(rng() % 3);
      for (int i = 0; i < n_prefix; ++i) prefix_items.push_back(40 + static_cast<std::uint32_t>(i));
      parse(kw, "[0," + std::to_string(rng() % 14) + "]");
      bind_all(&column);
      CConvertibleAntiMonotone<std::uint32_t>* c = GLOBAL_CAM_TABLE[0];
      std::sort(column.begin(), column.begin() + 40);
      if (!c->ascOrder()) std::reverse(column.begin(), column.begin() + 40);
      std::vector<std::uint32_t> t;
      const int size = static_cast<int>(rng() % 9);
      while (static_cast<int>(t.size()) < size) {
        std::uint32_t id = rng() % 40;
        if (std::find(t.begin(), t.end(), id) == t.end()) t.push_back(id);
      }
      std::sort(t.begin(), t.end());
      const int k = 1 + static_cast<int>(rng() % 4);
      zax_transaction<std::uint32_t> rec(16, static_cast<std::uint32_t>(k), 44);
      std::copy(t.begin(), t.end(), rec.elems.begin());
      rec.length = static_cast<std::uint32_t>(t.size());
      c->preCounting(rec, k, true);
      std::vector<std::uint32_t> after_pre(rec.elems.begin(), rec.elems.begin() + rec.length);
      rec.length = static_cast<std::uint32_t>(t.size());
      c->postCounting(rec, k, true);
      std::vector<std::uint32_t> after_post(rec.elems.begin(), rec.elems.begin() + rec.length);
      for (const auto& s : subsets(t)) {
        if (!c->testItemset(s)) continue;
        if (static_cast<int>(s.size()) >= k) {
          EXPECT_TRUE(contains_all(after_pre, s)) << kw << " k=" << k << " preCounting";
        }
        if (static_cast<int>(s.size()) >= k + 1) {
          EXPECT_TRUE(contains_all(after_post, s)) << kw << " k=" << k << " postCounting";
        }
      }
      // Without the order nothing changes.
      rec.length = static_cast<std::uint32_t>(t.size());
      c->preCounting(rec, k, false);
      c->postCounting(rec, k, false);
      EXPECT_EQ(rec.length, t.size());
    }
  }
  reset_constraint_tables();
}

TEST(ConstraintPruning, RangeleqTwoLooksAtEveryWindow) {
  reset_constraint_tables();
  parse("rangeleq2", "[0,2]");
  std::vector<std::uint32_t> column = {1, 5, 6};
  bind_all(&column);
  zax_transaction<std::uint32_t> rec(4, 2, 3);
  rec.elems = {0, 1, 2, 0};
  rec.length = 3;
  GLOBAL_CAM_TABLE[0]->preCounting(rec, 2, true);
  EXPECT_EQ(rec.length, 3u);
  reset_constraint_tables();
}

// prunes_transactions() true promises: every satisfying itemset of 4 or more
// items has a satisfying subset one item shorter.
TEST(ConstraintPruning, LoosePruningOnlyWhereTheSubsetPropertyHolds) {
  const char* keywords[] = {"avggeq", "avgleq", "medgeq", "medleq", "varleq", "vargeq",
                            "stdleq", "stdgeq", "spvleq", "spvgeq", "mdleq",  "mdgeq",
                            "minleq", "rangegeq", "maxgeq"};
  std::mt19937 rng(3);
  for (const char* kw : keywords) {
    for (int round = 0; round < 150; ++round) {
      reset_constraint_tables();
      std::vector<std::uint32_t> column = random_column(rng, 10);
      const int n_prefix = static_cast<int>(rng() % 2);
      for (int i = 0; i < n_prefix; ++i) prefix_items.push_back(40 + static_cast<std::uint32_t>(i));
      parse(kw, "[0," + std::to_string(rng() % 12) + "]");
      bind_all(&column);
      CLooseAntiMonotone<std::uint32_t>* c = GLOBAL_LAM_TABLE[0];
      if (!c->prunes_transactions()) continue;
      std::vector<std::uint32_t> x;
      const int size = 4 + static_cast<int>(rng() % 3);
      while (static_cast<int>(x.size()) < size) {
        std::uint32_t id = rng() % 40;
        if (std::find(x.begin(), x.end(), id) == x.end()) x.push_back(id);
      }
      if (!c->testItemset(x)) continue;
      bool some_subset = false;
      for (std::size_t drop = 0; drop < x.size() && !some_subset; ++drop) {
        std::vector<std::uint32_t> s = x;
        s.erase(s.begin() + static_cast<long>(drop));
        some_subset = c->testItemset(s);
      }
      EXPECT_TRUE(some_subset) << kw;
    }
  }
  reset_constraint_tables();
}

TEST(ConstraintPruning, LooseCounterexamplesDisablePruning) {
  struct Case {
    const char* kw;
    int n_prefix;
    bool prunes;
  } cases[] = {
      {"vargeq", 0, false}, {"stdgeq", 0, false}, {"mdgeq", 0, false}, {"mdleq", 0, false},
      {"avggeq", 1, false}, {"medleq", 1, false}, {"varleq", 1, false}, {"spvgeq", 1, false},
      {"avggeq", 0, true},  {"spvleq", 0, true},  {"minleq", 1, true},  {"maxgeq", 1, true},
      {"rangegeq", 1, true},
  };
  for (const Case& c : cases) {
    reset_constraint_tables();
    for (int i = 0; i < c.n_prefix; ++i) prefix_items.push_back(3);
    parse(c.kw, "[0,1]");
    std::vector<std::uint32_t> column(4, 1);
    bind_all(&column);
    EXPECT_EQ(GLOBAL_LAM_TABLE[0]->prunes_transactions(), c.prunes) << c.kw;
  }
  reset_constraint_tables();
}

TEST(ConstraintPruning, ActiveInstancesMoveIntoTheTypedTable) {
  reset_constraint_tables();
  parse("sumleq", "[0,5]");
  parse("maxgeq", "[0,5]");
  parse("subseteq", "[1]");
  parse("avggeq2", "[0,5]");
  GLOBAL_TABLE_K<std::uint16_t> k;
  k.take_active_constraints();
  EXPECT_EQ(k.am_table.size(), 1u);
  EXPECT_EQ(k.m_table.size(), 1u);
  EXPECT_EQ(k.lam_table.size(), 1u);
  EXPECT_EQ(k.cam_table.size(), 1u);
  EXPECT_TRUE(GLOBAL_AM_TABLE.empty() && GLOBAL_M_TABLE.empty() && GLOBAL_SAM_TABLE.empty());
  EXPECT_TRUE(GLOBAL_LAM_TABLE.empty() && GLOBAL_CAM_TABLE.empty());
  reset_constraint_tables();
}

}  // namespace
