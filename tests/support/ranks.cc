#include "tests/support/ranks.h"

#include <cstdlib>
#include <regex>

int mpi_ranks() {
  const char* ranks = std::getenv("KESTREL_RANKS");
  return ranks == nullptr ? 0 : std::atoi(ranks);
}

std::string without_times(const std::string& text) {
  // A row's trailing seconds go with the blanks before them ("%8.2f" pads 0.25
  // with more of them than 121.65), in a winnow row with the closing
  // parenthesis after them; the passes a row may end with stay.
  static const std::regex seconds(R"( *[0-9]+\.[0-9]+ *(\) *)?( \t [0-9]+ passes)?\n)");
  static const std::regex total("Total time: [^\n]*");
  const std::string lines = text.empty() || text.back() == '\n' ? text : text + "\n";
  return std::regex_replace(std::regex_replace(lines, total, ""), seconds, "$2\n");
}

std::string without_times_or_passes(const std::string& text) {
  static const std::regex times(R"( \t +[0-9]+\.[0-9]+( \t [0-9]+ passes)?\n|Total time: .*)");
  return std::regex_replace(text, times, "\n");
}

std::string without_exchange(const std::string& text) {
  static const std::regex exchange(R"(\n\( \t counts summed over [^\n]*)");
  return std::regex_replace("\n" + text, exchange, "").substr(1);
}

std::string without_level_windows(const std::string& text) {
  static const std::regex windows(R"((\t zax[^\n]*) \t [0-9]+ passes\n)");
  return std::regex_replace(text, windows, "$1\n");
}

run_outcome run_ranks(const std::string& dir, const std::vector<std::string>& args) {
#ifdef KESTREL_MPI_BIN
  run_io io;
  io.program = KESTREL_MPIRUN;
  // An even number of launcher arguments keeps the keyword/value pairs aligned.
  std::vector<std::string> launch = {
      "--quiet", "--oversubscribe",           "--bind-to",    "none", "--allow-run-as-root",
      "-np",     std::to_string(mpi_ranks()), KESTREL_MPI_BIN};
  launch.insert(launch.end(), args.begin(), args.end());
  return run_kestrel(dir, launch, io);
#else
  (void)dir, (void)args;
  return run_outcome{};
#endif
}

std::string mpi_difference(const std::string& dir, const std::vector<std::string>& args,
                           const run_outcome& single, std::string* ranks_stdout) {
#ifdef KESTREL_MPI_BIN
  const run_outcome ranks = run_ranks(dir, args);
  std::string report;
  if (ranks.exit_status != single.exit_status)
    report += "status " + std::to_string(ranks.exit_status) + "\n";
  if (ranks.output_exists != single.output_exists || ranks.output_text != single.output_text)
    report += "output file differs\n";
  if (ranks_stdout != nullptr) *ranks_stdout = ranks.stdout_text;
  if (without_times(without_level_windows(without_exchange(ranks.stdout_text))) !=
      without_times(without_level_windows(single.stdout_text)))
    report += "stdout differs:\n" + ranks.stdout_text;
  if (ranks.stderr_text != single.stderr_text) report += "stderr: " + ranks.stderr_text;
  // kestrel's own "dataset.tmp", left where kestrel leaves it, is there too.
  if (ranks.temporary_left && !single.temporary_left) report += "temporary dataset left\n";
  return report.empty()
             ? report
             : "with " + std::to_string(mpi_ranks()) + " ranks: " + ranks.command + "\n" + report;
#else
  (void)dir, (void)args, (void)single, (void)ranks_stdout;
  return "KESTREL_RANKS is set, but this build has no kestrel-mpi\n";
#endif
}
