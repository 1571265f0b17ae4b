#include "dataset/run_context.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// A rank of a larger run, as far as naming is concerned.
class rank_of final : public single_process {
 public:
  rank_of(int rank, int ranks) : rank_(rank), ranks_(ranks) {}
  int rank() const override { return rank_; }
  int ranks() const override { return ranks_; }

 private:
  int rank_, ranks_;
};

TEST(RunContext, EachRankOfASharedRunKeepsItsOwnTemporaryDataset) {
  const struct {
    std::string tmpdir;
    int rank, ranks;
    std::string expected;
  } cases[] = {
      {"", 0, 1, "dataset.tmp"},        {".", 0, 1, "dataset.tmp"},
      {"/t", 0, 1, "/t/dataset.tmp"},   {"", 0, 2, "dataset.tmp.0"},
      {"/t", 1, 2, "/t/dataset.tmp.1"}, {".", 11, 12, "dataset.tmp.11"},
  };
  for (const auto& c : cases) {
    rank_of peers(c.rank, c.ranks);
    run_config config;
    config.tmpdir = c.tmpdir;
    run_context run(std::move(config), &peers);
    EXPECT_EQ(run.temp_dataset, c.expected) << c.tmpdir << " " << c.rank;
    EXPECT_EQ(&run.peers, &peers);
  }
  run_context alone{run_config{}};
  EXPECT_EQ(alone.peers.ranks(), 1);
  EXPECT_EQ(alone.temp_dataset, "dataset.tmp");
}

}  // namespace
