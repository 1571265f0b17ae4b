#include "vertical/level_job.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/itemsets.h"
#include "tests/support/ranks.h"
#include "tests/support/run_error_of.h"
#include "util/error.h"

namespace {

using transactions = std::vector<std::vector<std::uint32_t>>;

using variant = level_kernel;
constexpr variant kVariants[] = {variant::compact, variant::diffuse, variant::key_patterns};

// 60 to 159 transactions over items 0..n-1, item i in 30 to 60 % of them.
transactions dense_random_transactions(std::mt19937& rng, std::uint32_t n) {
  transactions trans(60 + rng() % 100);
  for (auto& t : trans)
    for (std::uint32_t i = 0; i < n; ++i)
      if (rng() % 100 < 30 + 6 * (i % 6)) t.push_back(i);
  return trans;
}

// Runs the vertical phase in process, as the level-wise driver does, from a
// level k0 built by a brute-force count, until a level comes out empty. Dense
// ids are the input ids. Records each level's store and the progress rows.
template <class T, class T1>
struct vertical_run {
  vertical_run(const transactions& trans, std::uint32_t n, std::uint32_t sigma, int k0,
               vertical_layout layout = vertical_layout::bit_matrix)
      : items(sigma), brute(brute_force(trans, sigma)) {
    set_up_items(items, n);
    items.n_transactions = static_cast<std::uint32_t>(trans.size());
    std::uint64_t occurrences = 0;
    for (const auto& t : trans) occurrences += t.size();
    EXPECT_TRUE(vd.fits_in_memory(n, static_cast<std::uint32_t>(trans.size()), occurrences,
                                  std::uint64_t{1} << 30, layout));
    vd.allocate();
    for (std::uint32_t t = 0; t < trans.size(); ++t) {
      std::vector<T> tx(trans[t].begin(), trans[t].end());
      vd.add_transaction(tx.data(), static_cast<std::uint32_t>(tx.size()), t);
    }
    vd.finish_filling();
    vd.try_make_compact(n);
    level = std::make_unique<frequent_level<T, T1>>(k0);
    for (const auto& [set, support] : brute) {
      if (static_cast<int>(set.size()) != k0) continue;
      std::vector<T> s(set.begin(), set.end());
      level->add_itemset(s.data(), static_cast<T1>(support), table);
    }
    level->keys.assign(static_cast<std::size_t>(level->n_itemsets), key_column::kKey);
    this->k0 = k0;
    // Brute-force itemsets longer than k0 (all of them frequent).
    for (const auto& [set, support] : brute)
      if (static_cast<int>(set.size()) > k0) expected_stores[set] = support;
  }

  // behind: each level is written while the next one is mined. Runs once.
  void run(variant v, bool behind = false) {
    test_dir dir;
    run_context run{run_config{}};
    run.output.file = output_to.empty() ? dir.file("out.txt") : output_to;
    if (output_to.empty()) {
      output_file create(run.output, "w+");
      create.close();
    }
    run.report.hook = [this](const char* text) { rows += text; };
    if (memory_bytes > 0) run.memory_bytes = memory_bytes;
    if (!temp_dataset.empty()) run.temp_dataset = temp_dataset;
    run.config.threads = threads;
    level_output<T, T1> output(run, behind);
    {
      level_job<T, T1> job(run, items, vd, table, output, v, std::move(level), least_window);
      if (summed) job.sum_counts();
      try {
        build_all(job, v);
      } catch (...) {
        output.wait();
        throw;
      }
      output.wait();
    }
    // The spill files went with the windows.
    EXPECT_FALSE(path_exists(dir.file("dataset.tmp.level0")));
    EXPECT_FALSE(path_exists(dir.file("dataset.tmp.level1")));
    EXPECT_TRUE(put_in_place(run.output.partial));  // as a completed run does
    written = read_file(run.output.file);
  }

  // Builds level after level, recording each store, until one is empty.
  void build_all(level_job<T, T1>& job, variant v) {
    for (;;) {
      const std::uint64_t built = job.build_next();
      frequent_level<T, T1>& next = job.built();
      if (v == variant::key_patterns) {
        EXPECT_TRUE(next.has_keys());
        if (next.n_itemsets > 0) ++(next.supports.packed() ? packed_levels : plain_levels);
      }
      // A spilled level left its store empty: only those kept are recorded.
      if (built != static_cast<std::uint64_t>(next.n_itemsets)) ++spilled_levels;
      next.init_read_itemsets();
      std::vector<T> buf(static_cast<std::size_t>(job.k()));
      if (next.n_itemsets > 0)
        for (int s; (s = next.next_itemset(buf.data())) >= 0;)
          stores[std::vector<std::uint32_t>(buf.begin(), buf.end())] = next.supports[s];
      if (built == 0) break;
    }
  }

  item_table items;
  itemset_counts brute;
  typed_constraints<T> table;
  vertical_dataset<T> vd;
  std::unique_ptr<frequent_level<T, T1>> level;
  int k0 = 0;
  itemset_counts expected_stores, stores;
  std::string rows;
  std::string written;             // the output file
  std::string output_to;           // set: the output file instead of a fresh one
  std::uint64_t memory_bytes = 0;  // set: the run's budget
  std::uint64_t least_window = kLeastWindowBytes;
  unsigned threads = 0;
  bool summed = false;       // set: counts summed over the ranks (one here)
  std::string temp_dataset;  // set: where the spill files go beside
  int spilled_levels = 0;
  int packed_levels = 0, plain_levels = 0;  // key-pattern levels by their records' place
};

TEST(LevelJob, RowsCountExaminedFrequentAndWritten) {
  // Pairs {0,1} {0,2} {1,2} {1,3}: candidates {0,1,2} and {1,2,3} (examined
  // though {2,3} is infrequent); {0,1,2} occurs twice.
  const transactions trans = {{0, 1, 2}, {0, 1, 2}, {1, 3}, {1, 3}, {0, 1}, {2, 3}};
  for (variant v : kVariants) {
    vertical_run<std::uint8_t, std::uint8_t> r(trans, 4, 2, 2);
    r.run(v);
    const std::string alg = v == variant::compact   ? "zaxd \t"
                            : v == variant::diffuse ? "zaxs \t"
                                                    : "zaxdk\t";
    const std::string want =
        " 3: \t " + alg + "\t      2 \t      1 \t      1 \t -------- \t        0 \t ";
    EXPECT_EQ(r.rows.rfind(want, 0), 0u) << r.rows;
    EXPECT_EQ(std::count(r.rows.begin(), r.rows.end(), '\n'), 1) << r.rows;  // level 4: no pair
    EXPECT_EQ(r.stores, (itemset_counts{{{0, 1, 2}, 2}}));
  }
}

// Item `implied` is in every transaction holding item 0, so {0, implied} has
// the support of {0}, and every {0, implied, x} the support of {0, x}: none of
// them is a key, and their supports are inferred without counting. 16-bit
// supports leave the key records room below 4096 only: on 300 transactions
// every level packs them; on 9,000 the levels of pairs hold supports above it
// and keep a column of records, the later ones pack them. A run on one thread,
// and one whose chunk stores are appended, store every support across the change.
TEST(LevelJob, KeyPatternsInferSupportsAndPackTheirRecordsOnceTheyLeaveRoom) {
  struct Case {
    std::uint32_t seed, n_trans, implied, sigma;
    std::vector<int> pct;
    bool plain;  // some levels keep a column of records
  };
  const Case cases[] = {{12, 300, 1, 20, {50, 40, 60, 55, 65, 45}, false},
                        {5, 9000, 2, 300, {70, 75, 65, 60, 55, 50, 45}, true}};
  for (const Case& c : cases) {
    std::mt19937 rng(c.seed);
    const auto n = static_cast<std::uint32_t>(c.pct.size());
    transactions trans(c.n_trans);
    for (auto& t : trans)
      for (std::uint32_t i = 0; i < n; ++i)
        if (static_cast<int>(rng() % 100) < c.pct[i] || (i == c.implied && !t.empty() && t[0] == 0))
          t.push_back(i);
    for (unsigned threads : {1u, 3u}) {
      SCOPED_TRACE(std::to_string(c.n_trans) + " transactions, threads " + std::to_string(threads));
      vertical_run<std::uint8_t, std::uint16_t> r(trans, n, c.sigma, 2);
      r.threads = threads;
      r.run(variant::key_patterns);
      EXPECT_EQ(r.stores, r.expected_stores);
      EXPECT_EQ(r.plain_levels > 0, c.plain);
      EXPECT_GT(r.packed_levels, 0);
    }
  }
}

TEST(KeyPatternsReachingPastTheFarthestRecord, LongItemsetsKeepTheirSupports) {
  // Item 0 is in every transaction: every itemset holding it has the support
  // of the itemset without it, an item as far from the end as the itemset is
  // long. Itemsets of 16 to 18 items hold it beyond the farthest position a
  // record names. Each other item is missing from one transaction, so no
  // other item of the whole 18-itemset (support 2) keeps its support (3).
  std::vector<std::uint32_t> all(18);
  for (std::uint32_t i = 0; i < 18; ++i) all[i] = i;
  transactions trans = {all, all};
  for (std::uint32_t i = 1; i < 18; ++i) {
    trans.push_back(all);
    trans.back().erase(trans.back().begin() + i);
  }
  // Two threads: their chunks' records are appended at odd and even counts.
  vertical_run<std::uint8_t, std::uint16_t> r(trans, 18, 2, 2);
  r.threads = 2;
  r.run(variant::key_patterns);
  ASSERT_EQ(r.expected_stores[all], 2u);
  EXPECT_EQ(r.stores, r.expected_stores);
}

// A way of running the levels, set on a run before it starts.
struct run_way {
  const char* name;
  vertical_layout layout;
  bool behind;                 // each level written while the next one is mined
  bool summed;                 // counts summed over the ranks (one here: each sum is the count)
  std::uint64_t least_window;  // not 0: a budget nothing fits beside, this least window
};

// The data of a seed: dense on odd seeds; on even ones sparser, under higher
// thresholds, which leave items out of the tid-list projections. Seed 9 has
// item 0 in every transaction: the group of prefix 0 at level 2 holds every
// other item, and its joins alone outgrow a window of one byte.
struct seeded_data {
  transactions trans;
  std::uint32_t n, sigma;
  bool dense;
};
seeded_data data_of(std::uint32_t seed) {
  std::mt19937 rng(seed);
  if (seed % 2 == 1 && seed != 9) {
    const std::uint32_t n = 8 + seed % 5;
    return {dense_random_transactions(rng, n), n, 3, true};
  }
  const std::uint32_t n = seed == 9 ? 24 : 6 + seed % 9;
  transactions trans(seed == 9 ? 40 : 40 + rng() % 160);
  for (auto& t : trans)
    for (std::uint32_t i = 0; i < n; ++i)
      if (seed == 9 ? i == 0 || rng() % 100 < 25 : rng() % 100 < 8 + 5 * (i % 7)) t.push_back(i);
  const auto sigma = static_cast<std::uint32_t>(seed == 9 ? 2 : 2 + rng() % 6);
  return {trans, n, sigma, seed == 9};
}

// Every way of running the levels stores the brute-force supports and leaves
// the file and the rows (times, and the passes of spilled levels, aside) of
// the plain run (bit rows, in memory, written at once, counts settled at
// once), for every kernel: tid-lists; writing behind the mining; counts
// summed over the ranks, which settle each batch of candidates after the walk
// has moved on; and levels spilled window by window (least window 1: a group
// at a time, or a member at a time where a group is too big) and joined from
// their files, counting every candidate.
TEST(LevelJob, EveryWayOfRunningTheLevelsWritesTheSameFileAndRows) {
  constexpr vertical_layout bits = vertical_layout::bit_matrix;
  constexpr vertical_layout lists = vertical_layout::tid_lists;
  const run_way ways[] = {
      {"tid-lists", lists, false, false, 0},
      {"written behind", bits, true, false, 0},
      {"summed", bits, false, true, 0},
      {"summed on tid-lists", lists, false, true, 0},
      {"summed and spilled", bits, false, true, 1},
      {"summed and spilled on tid-lists", lists, false, true, 1},
      {"spilled and written behind", bits, true, false, 1},
      {"spilled on tid-lists", lists, false, false, 1},
      {"spilled in windows of 200", bits, false, false, 200},
      {"spilled in windows of 200 on tid-lists, written behind", lists, true, false, 200},
  };
  for (std::uint32_t seed = 1; seed <= 9; ++seed) {
    const auto [trans, n, sigma, dense] = data_of(seed);
    for (variant v : kVariants) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " kernel " + std::to_string(int(v)));
      vertical_run<std::uint8_t, std::uint16_t> plain(trans, n, sigma, 2);
      plain.run(v);
      EXPECT_EQ(plain.stores, plain.expected_stores);
      EXPECT_EQ(plain.rows.find("passes"), std::string::npos) << plain.rows;
      if (dense) {
        EXPECT_GT(std::count(plain.rows.begin(), plain.rows.end(), '\n'), 2);
        EXPECT_FALSE(plain.written.empty());
      }
      for (const run_way& way : ways) {
        SCOPED_TRACE(way.name);
        vertical_run<std::uint8_t, std::uint16_t> r(trans, n, sigma, 2, way.layout);
        r.summed = way.summed;
        r.threads = 1 + (seed + static_cast<unsigned>(&way - ways)) % 3;
        if (way.least_window > 0) {
          r.memory_bytes = 1;
          r.least_window = way.least_window;
        }
        r.run(v, way.behind);
        EXPECT_EQ(r.written, plain.written);
        EXPECT_EQ(without_times_or_passes(r.rows), without_times_or_passes(plain.rows));
        if (way.least_window == 0) {
          EXPECT_EQ(r.stores, r.expected_stores);
          EXPECT_EQ(r.rows.find("passes"), std::string::npos) << r.rows;
          continue;
        }
        // A spilled level left its store empty: those kept hold the true supports.
        for (const auto& [set, support] : r.stores) EXPECT_EQ(support, r.expected_stores[set]);
        if (dense) {
          EXPECT_GT(r.spilled_levels, 1);
          EXPECT_NE(r.rows.find(" passes\n"), std::string::npos) << r.rows;
        }
        if (seed == 9 && way.least_window == 1) {
          // More windows than level 2 has groups (23 at most): the groups were
          // split, the one of prefix 0 into a window per member.
          std::smatch row;
          ASSERT_TRUE(
              std::regex_search(r.rows, row, std::regex(R"((^|\n) ?3:[^\n]*\t (\d+) passes\n)")))
              << r.rows;
          EXPECT_GT(std::stoi(row[2].str()), 23) << r.rows;
        }
      }
    }
  }
}

// The joins of one itemset cannot be split: when they exceed both the least
// window and what the budget leaves, the run stops with a message instead of
// running out of memory. Here {0, 1} joins 4998 others at level 3 (over 64 KiB
// of candidates) under a budget of one byte.
TEST(LevelJob, OneItemsetWhoseJoinsDoNotFitStopsTheRun) {
  const std::uint32_t n = 5000;
  item_table items(1);
  set_up_items(items, n);
  items.n_transactions = 2;
  vertical_dataset<std::uint16_t> vd;
  ASSERT_TRUE(vd.fits_in_memory(n, 2, 2 * n, std::uint64_t{1} << 30, vertical_layout::bit_matrix));
  vd.allocate();
  std::vector<std::uint16_t> all(n);
  for (std::uint32_t i = 0; i < n; ++i) all[i] = static_cast<std::uint16_t>(i);
  for (std::uint32_t t = 0; t < 2; ++t) vd.add_transaction(all.data(), n, t);
  vd.finish_filling();
  vd.try_make_compact(n);
  typed_constraints<std::uint16_t> table;
  auto level = std::make_unique<frequent_level<std::uint16_t, std::uint16_t>>(2);
  for (std::uint16_t i = 1; i < n; ++i) {
    const std::uint16_t pair[2] = {0, i};
    level->add_itemset(pair, 2, table);
  }
  test_dir dir;
  run_context run{run_config{}};
  run.memory_bytes = 1;
  run.config.threads = 1;
  level_output<std::uint16_t, std::uint16_t> output(run, false);
  level_job<std::uint16_t, std::uint16_t> job(run, items, vd, table, output, level_kernel::compact,
                                              std::move(level));
  EXPECT_EQ(run_error_of([&] { job.build_next(); }),
            "level 3: the joins of one itemset (4998) do not fit the memory budget");
}

// A full disk ends the run with the file's name, and leaves no row for the
// level that could not be kept: under the output file, written at once or
// behind the mining, and under the spill file of a level spilled under a
// budget nothing fits beside.
TEST(LevelJob, AFullDiskIsReportedWithTheFilesName) {
  if (!path_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const transactions trans = {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2}, {1, 2, 3}, {0, 2, 3}};
  for (const char* where : {"output", "output behind", "spill"}) {
    SCOPED_TRACE(where);
    test_dir dir;
    vertical_run<std::uint8_t, std::uint8_t> r(trans, 4, 2, 2);
    std::string full = "/dev/full";
    r.output_to = full;
    const bool spill = std::string(where) == "spill";
    if (spill) {
      full = dir.file("dataset.tmp.level1");
      ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
      r.output_to = dir.file("out.txt");
      write_file(r.output_to, "");
      r.memory_bytes = 1;
      r.least_window = 1;
      r.temp_dataset = dir.file("dataset.tmp");
    }
    EXPECT_EQ(run_error_of([&] {
                r.run(spill ? variant::compact : variant::key_patterns,
                      std::string(where) == "output behind");
              }),
              full + " could not be written!");
    EXPECT_EQ(r.rows, "");
  }
}

}  // namespace
