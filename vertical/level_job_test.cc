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

TEST(LevelJob, KeyPatternsInferSupportsWithoutCounting) {
  // Item 1 is in every transaction holding item 0, so {0,1} has the support of
  // {0}, and every {0,1,x} the support of {0,x}: none of them is a key.
  std::mt19937 rng(12);
  transactions trans(300);
  const int pct[] = {50, 40, 60, 55, 65, 45};
  for (auto& t : trans)
    for (std::uint32_t i = 0; i < 6; ++i)
      if (static_cast<int>(rng() % 100) < pct[i] || (i == 1 && !t.empty() && t[0] == 0))
        t.push_back(i);
  vertical_run<std::uint8_t, std::uint16_t> key_run(trans, 6, 20, 2);
  key_run.run(variant::key_patterns);
  EXPECT_EQ(key_run.stores, key_run.expected_stores);
  EXPECT_EQ(key_run.plain_levels, 0);
}

TEST(LevelJob, KeyRecordsMoveIntoTheSupportsOnceTheyLeaveRoom) {
  // 16-bit supports leave the records room below 4096 only: the levels of
  // pairs hold supports above it and keep a column of records, the later
  // ones pack them. A run on one thread, and one whose chunk stores are
  // appended, store every support right across the change.
  std::mt19937 rng(5);
  transactions trans(9000);
  const int pct[] = {70, 75, 65, 60, 55, 50, 45};
  for (auto& t : trans)
    for (std::uint32_t i = 0; i < 7; ++i)
      if (static_cast<int>(rng() % 100) < pct[i] || (i == 2 && !t.empty() && t[0] == 0))
        t.push_back(i);
  for (unsigned threads : {1u, 3u}) {
    vertical_run<std::uint8_t, std::uint16_t> r(trans, 7, 300, 2);
    r.threads = threads;
    r.run(variant::key_patterns);
    EXPECT_EQ(r.stores, r.expected_stores) << threads;
    EXPECT_GT(r.plain_levels, 0) << threads;
    EXPECT_GT(r.packed_levels, 0) << threads;
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

}  // namespace

namespace {

// The rows without their times and passes.
std::string without_times_or_passes(const std::string& rows) {
  static const std::regex tail(R"( \t +[0-9]+\.[0-9]+( \t [0-9]+ passes)?\n)");
  return std::regex_replace(rows, tail, "\n");
}

// The rows without their times.
std::string without_times(const std::string& rows) {
  std::string out;
  for (std::size_t at = 0, end; (end = rows.find('\n', at)) != std::string::npos; at = end + 1)
    out += rows.substr(at, rows.rfind('\t', end) - at) + "\n";
  return out;
}

// Every variant finds the brute-force supports on bit rows and on tid-lists
// alike, and prints the same rows (the times aside) on both.
TEST(LevelJob, TidListsGiveTheSupportsAndRowsOfTheBitMatrix) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 6 + seed % 9;
    transactions trans(40 + rng() % 160);
    for (auto& t : trans)
      for (std::uint32_t i = 0; i < n; ++i)
        if (rng() % 100 < 8 + 5 * (i % 7)) t.push_back(i);
    const std::uint32_t sigma = 2 + rng() % 6;
    for (variant v : kVariants) {
      vertical_run<std::uint8_t, std::uint16_t> bits(trans, n, sigma, 2,
                                                     vertical_layout::bit_matrix);
      vertical_run<std::uint8_t, std::uint16_t> lists(trans, n, sigma, 2,
                                                      vertical_layout::tid_lists);
      bits.run(v);
      lists.run(v);
      EXPECT_EQ(lists.stores, lists.expected_stores) << seed;
      EXPECT_EQ(bits.stores, bits.expected_stores) << seed;
      EXPECT_EQ(without_times(lists.rows), without_times(bits.rows)) << seed;
    }
  }
}

}  // namespace

namespace {

// Counts summed over the ranks (here one, so every sum is the count itself)
// settle each batch of candidates after the walk has moved on, yet store the
// levels, write the file and print the rows (times aside) of counts settled
// at once: for every kernel and layout, whole in memory and spilled window by
// window.
TEST(LevelJob, CountsSummedOverTheRanksGiveTheLevelsOfLocalCounts) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 8 + seed % 5;
    const transactions trans = dense_random_transactions(rng, n);
    const bool spilled = seed % 2 == 0;
    for (vertical_layout layout : {vertical_layout::bit_matrix, vertical_layout::tid_lists}) {
      for (variant v : kVariants) {
        vertical_run<std::uint8_t, std::uint16_t> local(trans, n, 3, 2, layout);
        vertical_run<std::uint8_t, std::uint16_t> summed(trans, n, 3, 2, layout);
        local.threads = 1 + seed % 3;
        local.run(v);
        summed.summed = true;
        if (spilled) {
          summed.memory_bytes = 1;
          summed.least_window = 1;
        }
        summed.run(v);
        EXPECT_GT(std::count(local.rows.begin(), local.rows.end(), '\n'), 2) << seed;
        EXPECT_EQ(summed.written, local.written) << seed;
        EXPECT_EQ(without_times_or_passes(summed.rows), without_times_or_passes(local.rows))
            << seed;
        if (!spilled) {
          EXPECT_EQ(summed.stores, local.stores) << seed;
        }
        for (const auto& [set, support] : summed.stores)
          EXPECT_EQ(support, summed.expected_stores[set]) << seed;
      }
    }
  }
}

// A level written while the next one is mined leaves the same file and the
// same rows, in the same order, as one written at once.
TEST(LevelJob, WritingBehindTheMiningChangesNoByte) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 8 + seed % 5;
    const transactions trans = dense_random_transactions(rng, n);
    for (variant v : kVariants) {
      vertical_run<std::uint8_t, std::uint16_t> at_once(trans, n, 3, 2);
      vertical_run<std::uint8_t, std::uint16_t> behind(trans, n, 3, 2);
      at_once.run(v, false);
      behind.run(v, true);
      EXPECT_GT(std::count(at_once.rows.begin(), at_once.rows.end(), '\n'), 2) << seed;
      EXPECT_FALSE(at_once.written.empty()) << seed;
      EXPECT_EQ(behind.written, at_once.written) << seed;
      EXPECT_EQ(without_times(behind.rows), without_times(at_once.rows)) << seed;
    }
  }
}

// A write that fails behind the mining stops the run as it does written at
// once: the same error, and no row for the level that was not written.
TEST(LevelJob, AFailedWriteBehindTheMiningIsReported) {
  if (!path_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const transactions trans = {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2}, {1, 2, 3}, {0, 2, 3}};
  for (bool behind : {false, true}) {
    vertical_run<std::uint8_t, std::uint8_t> r(trans, 4, 2, 2);
    r.output_to = "/dev/full";
    try {
      r.run(variant::key_patterns, behind);
      ADD_FAILURE() << "a write to /dev/full passed";
    } catch (const run_error& e) {
      EXPECT_EQ(std::string(e.what()), "/dev/full could not be written!");
    }
    EXPECT_EQ(r.rows, "") << behind;
  }
}

}  // namespace

namespace {

// Under a budget nothing fits beside, every level spills window by window (a
// group at a time) and the next one is joined from its file, counting every
// candidate: the file and the rows (times and passes aside) stay those of the
// levels in memory, for every variant, layout and number of threads; the levels
// still in a store hold the true supports.
TEST(LevelJob, LevelsSpilledWindowByWindowWriteTheSameFile) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 8 + seed % 5;
    const transactions trans = dense_random_transactions(rng, n);
    const vertical_layout layout =
        seed % 2 == 0 ? vertical_layout::tid_lists : vertical_layout::bit_matrix;
    for (variant v : kVariants) {
      vertical_run<std::uint8_t, std::uint16_t> free(trans, n, 3, 2, layout);
      free.run(v);
      for (std::uint64_t least : {std::uint64_t{1}, std::uint64_t{200}}) {
        vertical_run<std::uint8_t, std::uint16_t> capped(trans, n, 3, 2, layout);
        capped.memory_bytes = 1;
        capped.least_window = least;
        capped.threads = 1 + seed % 3;
        capped.run(v, seed % 3 == 0);
        EXPECT_GT(capped.spilled_levels, 1) << seed;
        EXPECT_NE(capped.rows.find(" passes\n"), std::string::npos) << capped.rows;
        EXPECT_EQ(free.rows.find("passes"), std::string::npos) << free.rows;
        EXPECT_EQ(capped.written, free.written) << seed << " " << least;
        EXPECT_EQ(without_times_or_passes(capped.rows), without_times_or_passes(free.rows))
            << seed << " " << least;
        for (const auto& [set, support] : capped.stores)
          EXPECT_EQ(support, capped.expected_stores[set]) << seed;
      }
    }
  }
}

// Level 3 of data where item 0 is in every transaction: the group of prefix 0
// at level 2 holds every other item, and its joins alone outgrow a window of
// one byte. It is joined a member at a time (each spilled on its own), and the
// file and rows stay those of the levels in memory.
TEST(LevelJob, AGroupTooBigForAWindowIsJoinedInRangesOfItsMembers) {
  std::mt19937 rng(11);
  const std::uint32_t n = 24;
  transactions trans(40);
  for (auto& t : trans) {
    t.push_back(0);
    for (std::uint32_t i = 1; i < n; ++i)
      if (rng() % 100 < 25) t.push_back(i);
  }
  for (vertical_layout layout : {vertical_layout::bit_matrix, vertical_layout::tid_lists}) {
    for (variant v : kVariants) {
      vertical_run<std::uint8_t, std::uint16_t> free(trans, n, 2, 2, layout);
      free.run(v);
      for (unsigned threads : {1u, 3u}) {
        vertical_run<std::uint8_t, std::uint16_t> capped(trans, n, 2, 2, layout);
        capped.memory_bytes = 1;
        capped.least_window = 1;
        capped.threads = threads;
        capped.run(v);
        EXPECT_EQ(capped.written, free.written) << threads;
        EXPECT_EQ(without_times_or_passes(capped.rows), without_times_or_passes(free.rows))
            << threads;
        for (const auto& [set, support] : capped.stores)
          EXPECT_EQ(support, capped.expected_stores[set]);
        // More windows than level 2 has groups (23 at most): the groups were
        // split, the one of prefix 0 into a window per member.
        const std::smatch row = [&] {
          std::smatch m;
          std::regex_search(capped.rows, m, std::regex(R"((^|\n) ?3:[^\n]*\t (\d+) passes\n)"));
          return m;
        }();
        ASSERT_FALSE(row.empty()) << capped.rows;
        EXPECT_GT(std::stoi(row[2].str()), 23) << capped.rows;
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
  try {
    job.build_next();
    ADD_FAILURE() << "the level was built";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "level 3: the joins of one itemset (4998) do not fit the memory budget");
  }
}

// A full disk under the spill file ends the run with its name, and leaves no
// row for the level that could not be kept.
TEST(LevelJob, AFullDiskUnderTheSpillFileIsReported) {
  if (!path_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const transactions trans = {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2}, {1, 2, 3}, {0, 2, 3}};
  test_dir dir;
  ASSERT_EQ(symlink("/dev/full", "dataset.tmp.level1"), 0);
  vertical_run<std::uint8_t, std::uint8_t> r(trans, 4, 2, 2);
  r.output_to = dir.file("out.txt");
  write_file(r.output_to, "");
  r.memory_bytes = 1;
  r.least_window = 1;
  r.temp_dataset = dir.file("dataset.tmp");
  try {
    r.run(variant::compact);
    ADD_FAILURE() << "a spill to /dev/full passed";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()), dir.file("dataset.tmp.level1") + " could not be written!");
  }
  EXPECT_EQ(r.rows, "");
}

}  // namespace
