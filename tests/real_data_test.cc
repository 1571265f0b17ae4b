// The real benchmark datasets (gzipped FIMI in ../shared/data): for every hop
// value the output equals the brute-force reference, and input read through a
// pipe gives the same output. Skipped when the data directory is absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/judge.h"
#include "tests/support/process.h"
#include "tests/support/reference_miner.h"

namespace {

std::string gz_path(const std::string& name) {
  return KESTREL_SOURCE_DIR "/../shared/data/" + name + ".dat.gz";
}

// Unpacks name.dat.gz into a new directory (kept when a run fails); the
// reference output for each sigma.
struct unpacked {
  test_dir dir;
  reference::Transactions tx;
  explicit unpacked(const std::string& name) : dir("real-" + name) {
    const std::string cmd = "gzip -dc '" + gz_path(name) + "' > '" + name + ".dat'";
    if (std::system(cmd.c_str()) != 0 ||
        !reference::parse_number_lines(read_file(name + ".dat"), true, &tx).empty())
      tx.clear();
  }
  std::vector<std::string> expected(std::uint32_t sigma) const {
    reference::Query q;
    q.sigma = sigma;
    return reference::mine(tx, {}, false, q).lines;
  }
};

#define SKIP_WITHOUT(name) \
  if (std::system(("test -f '" + gz_path(name) + "'").c_str()) != 0) GTEST_SKIP() << gz_path(name)

void check_dataset(const std::string& name, const std::vector<std::uint32_t>& supports) {
  SKIP_WITHOUT(name);
  unpacked data(name);
  ASSERT_FALSE(data.tx.empty()) << "cannot unpack " << gz_path(name);
  bool all_ok = true;
  for (std::uint32_t sigma : supports) {
    const std::vector<std::string> expected = data.expected(sigma);
    for (int hop : {-1, 2, 3, 4, 100}) {
      const run_outcome run =
          run_kestrel(data.dir.path(), {"input", name + ".dat", "output", "out.txt", "sigma",
                                        std::to_string(sigma), "hop", std::to_string(hop)});
      const std::string report = judge_run(run, expected, 0);
      all_ok = all_ok && report.empty();
      EXPECT_EQ(report, "") << name << " sigma " << sigma << " hop " << hop << "\n" << run.command;
    }
  }
  if (!all_ok) data.dir.keep();
}

TEST(RealData, ChessEqualsReferenceForEveryHop) { check_dataset("chess", {2900, 2700, 2500}); }
TEST(RealData, MushroomEqualsReferenceForEveryHop) {
  check_dataset("mushroom", {4000, 3000, 2000});
}
TEST(RealData, RetailEqualsReferenceForEveryHop) { check_dataset("retail", {1000, 500, 300}); }
TEST(RealData, T10I4D100KEqualsReferenceForEveryHop) {
  check_dataset("T10I4D100K", {1000, 500, 300});
}

// The input is read once, so a pipe works: zcat f | kestrel input /dev/stdin ...
TEST(RealData, InputThroughAPipeGivesTheSameOutput) {
  SKIP_WITHOUT("mushroom");
  unpacked data("mushroom");
  ASSERT_FALSE(data.tx.empty());
  run_io io;
  io.stdin_text = read_file("mushroom.dat");
  const run_outcome run = run_kestrel(
      data.dir.path(), {"input", "/dev/stdin", "output", "out.txt", "sigma", "2500"}, io);
  const std::string report = judge_run(run, data.expected(2500), 0);
  EXPECT_EQ(report, "") << run.command;
  if (!report.empty()) data.dir.keep();
}

}  // namespace
