// The real benchmark datasets (gzipped FIMI files beside the project, in
// ../shared/data): the output for every hop value equals the brute-force
// reference at supports where the reference is quick, and input read through a
// pipe gives the same output. Skipped when the data directory is absent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/kestrel_runner.h"
#include "tests/reference_miner.h"

namespace {

const std::string kDataDir = KESTREL_SOURCE_DIR "/../shared/data";

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string gz_path(const std::string& name) { return kDataDir + "/" + name + ".dat.gz"; }

// Decompresses name.dat.gz into dir/name.dat and reads it with the reference.
bool unpack(const std::string& name, const std::string& dir, reference::Transactions* tx) {
  const std::string plain = dir + "/" + name + ".dat";
  const std::string cmd = "gzip -dc '" + gz_path(name) + "' > '" + plain + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  std::string text;
  if (!reference::read_text_file(plain, &text).empty()) return false;
  return reference::parse_number_lines(text, true, tx).empty();
}

// For each support: the reference once, then kestrel with every hop value.
void check_dataset(const std::string& name, const std::vector<std::uint32_t>& supports) {
  if (!exists(gz_path(name))) GTEST_SKIP() << gz_path(name) << " is not available";
  const std::string dir = kestrel_test::make_temp_dir("real-" + name);
  reference::Transactions tx;
  ASSERT_TRUE(unpack(name, dir, &tx)) << "cannot unpack " << gz_path(name);
  bool all_ok = true;
  for (std::uint32_t sigma : supports) {
    reference::Query query;
    query.sigma = sigma;
    const reference::MineResult expected = reference::mine(tx, {}, false, query);
    for (int hop : {-1, 2, 3, 4, 100}) {
      const kestrel_test::RunOutcome run =
          kestrel_test::run_kestrel(dir, {"input", name + ".dat", "output", "out.txt", "sigma",
                                          std::to_string(sigma), "hop", std::to_string(hop)});
      const std::string report = kestrel_test::judge_run(run, expected.lines, 0);
      if (!report.empty()) all_ok = false;
      EXPECT_EQ(report, "") << name << " sigma " << sigma << " hop " << hop << "\ncommand: "
                            << run.command;
    }
  }
  if (all_ok) kestrel_test::remove_tree(dir);
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
  if (!exists(gz_path("mushroom"))) GTEST_SKIP() << gz_path("mushroom") << " is not available";
  const std::string dir = kestrel_test::make_temp_dir("real-pipe");
  reference::Transactions tx;
  ASSERT_TRUE(unpack("mushroom", dir, &tx));
  reference::Query query;
  query.sigma = 2500;
  const reference::MineResult expected = reference::mine(tx, {}, false, query);

  const std::string cmd = "cd '" + dir + "' && gzip -dc '" + gz_path("mushroom") + "' | '" +
                          KESTREL_BIN +
                          "' input /dev/stdin output out.txt sigma 2500 > stdout.txt 2> stderr.txt";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << cmd;
  kestrel_test::RunOutcome run;
  run.exit_status = WEXITSTATUS(status);
  run.stdout_text = kestrel_test::read_file(dir + "/stdout.txt");
  run.stderr_text = kestrel_test::read_file(dir + "/stderr.txt");
  run.output_text = kestrel_test::read_file(dir + "/out.txt");
  run.temporary_left = exists(dir + "/dataset.tmp");
  const std::string report = kestrel_test::judge_run(run, expected.lines, 0);
  EXPECT_EQ(report, "") << cmd;
  if (report.empty()) kestrel_test::remove_tree(dir);
}

}  // namespace
