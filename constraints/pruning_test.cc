// Transaction operations never lose a satisfying itemset: before_counting and
// after_counting randomised against brute force, and the counterexamples that
// must switch off prunes_transactions(). The filters of the other kinds (the
// supseteq and sumleq ones with prefix items among them) are the differential
// test's job.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/test_support.h"

namespace {

using constraint_testing::bind_all;
using constraint_testing::parse;

// before_counting may drop only what no satisfying itemset of k or more items
// needs, after_counting only what none of k + 1 or more needs; without the
// order neither changes anything. closes_extensions is sound and monotone.
TEST(ConstraintPruning, CountingHooksKeepEverySatisfyingItemset) {
  std::mt19937 rng(11);
  for (const char* kw :
       {"avggeq2", "avgleq2", "minleq2", "maxgeq2", "medgeq2", "medleq2", "rangeleq2"}) {
    for (int round = 0; round < 300; ++round) {
      constraint_set set;
      std::vector<std::uint32_t> column(44);  // items 0..39, prefix items 40...
      for (auto& v : column) v = rng() % 13;
      for (std::uint32_t i = rng() % 3; i > 0; --i) set.prefix_items.push_back(39 + i);
      parse(set, kw, "[0," + std::to_string(rng() % 14) + "]");
      bind_all(set, &column);
      convertible_constraint<std::uint32_t>* c = set.convertible_table[0];
      // The dense order: values ascending in id for ascending, descending otherwise.
      std::sort(column.begin(), column.begin() + 40);
      if (!c->ascending()) std::reverse(column.begin(), column.begin() + 40);
      std::set<std::uint32_t> distinct;
      for (std::size_t size = rng() % 9; distinct.size() < size;) distinct.insert(rng() % 40);
      const std::vector<std::uint32_t> t(distinct.begin(), distinct.end());
      const int k = 1 + static_cast<int>(rng() % 4);
      auto after = [&](bool post, bool order_holds) {
        std::vector<std::uint32_t> rec = t;
        transaction_view<std::uint32_t> view = view_of(rec);
        post ? c->after_counting(view, k, order_holds) : c->before_counting(view, k, order_holds);
        return std::set<std::uint32_t>(rec.begin(), rec.begin() + view.length);
      };
      // Along a group (n >= 2), once the constraint fails it fails for every
      // later last item: the writer stops a group there.
      for (std::size_t n = 2; n <= t.size(); ++n) {
        std::vector<std::uint32_t> f(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n));
        if (c->holds(f)) continue;
        for (std::size_t j = n; j < t.size(); ++j) {
          f.back() = t[j];
          EXPECT_FALSE(c->holds(f)) << kw << " along a group";
        }
      }
      // A first joined itemset t[0..n) that closes its extensions has none
      // among t's items after it that satisfies, and (n >= 2) a later last
      // item closes too.
      for (std::size_t n = 1; n <= t.size(); ++n) {
        std::vector<std::uint32_t> f(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n));
        if (!c->closes_extensions(f.data(), static_cast<int>(n))) continue;
        for (std::size_t j = n; n >= 2 && j < t.size(); ++j) {
          f.back() = t[j];
          EXPECT_TRUE(c->closes_extensions(f.data(), static_cast<int>(n))) << kw;
        }
        f.back() = t[n - 1];
        const std::size_t rest = t.size() - n;
        for (std::uint32_t mask = 0; mask < (1u << rest); ++mask) {
          std::vector<std::uint32_t> s = f;
          for (std::size_t i = 0; i < rest; ++i)
            if (mask >> i & 1) s.push_back(t[n + i]);
          EXPECT_FALSE(c->holds(s)) << kw << " closes " << n;
        }
      }
      const std::set<std::uint32_t> pre = after(false, true), post = after(true, true);
      EXPECT_EQ(after(false, false), distinct);
      EXPECT_EQ(after(true, false), distinct);
      for (std::uint32_t mask = 0; mask < (1u << t.size()); ++mask) {
        std::vector<std::uint32_t> s;
        for (std::size_t i = 0; i < t.size(); ++i)
          if (mask >> i & 1) s.push_back(t[i]);
        if (static_cast<int>(s.size()) < k || !c->holds(s)) continue;
        EXPECT_TRUE(std::includes(pre.begin(), pre.end(), s.begin(), s.end()))
            << kw << " pre " << k;
        if (static_cast<int>(s.size()) > k) {
          EXPECT_TRUE(std::includes(post.begin(), post.end(), s.begin(), s.end()))
              << kw << " post " << k;
        }
      }
    }
  }
}

TEST(ConstraintPruning, LooseCounterexamplesDisablePruning) {
  struct Case {
    const char* kw;
    int n_prefix;
    bool prunes;
  } cases[] = {
      {"vargeq", 0, false},  {"stdgeq", 0, false}, {"mdgeq", 0, false},  {"mdleq", 0, false},
      {"avggeq", 1, false},  {"medleq", 1, false}, {"varleq", 1, false}, {"spvgeq", 1, false},
      {"avggeq", 0, true},   {"spvleq", 0, true},  {"minleq", 1, true},  {"maxgeq", 1, true},
      {"rangegeq", 1, true},
  };
  for (const Case& c : cases) {
    constraint_set set;
    for (int i = 0; i < c.n_prefix; ++i) set.prefix_items.push_back(3);
    parse(set, c.kw, "[0,1]");
    std::vector<std::uint32_t> column(4, 1);
    bind_all(set, &column);
    EXPECT_EQ(set.loose_table[0]->prunes_transactions(), c.prunes) << c.kw;
  }
}

}  // namespace
