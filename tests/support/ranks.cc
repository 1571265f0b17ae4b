#include "tests/support/ranks.h"

#include <cctype>
#include <cstdlib>

int mpi_ranks() {
  const char* ranks = std::getenv("KESTREL_RANKS");
  return ranks == nullptr ? 0 : std::atoi(ranks);
}

std::string without_times(const std::string& text) {
  std::string out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    const std::size_t total = line.find("Total time: ");
    // A row of several passes ends with " \t <p> passes" after its seconds.
    std::string passes;
    const std::size_t p = line.rfind(" \t ");
    if (p != std::string::npos && line.size() > 7 &&
        line.compare(line.size() - 7, 7, " passes") == 0) {
      passes = line.substr(p);
      line.resize(p);
    }
    if (total != std::string::npos) {
      line.resize(total);
    } else {
      // A trailing "<digits>.<digits>" (and the blanks after it) goes; in a
      // winnow row, the one before the closing parenthesis.
      std::size_t e = line.find_last_not_of(' ');
      if (e != std::string::npos && line[e] == ')' && line[0] == '(')
        e = line.find_last_not_of(' ', e - 1);
      std::size_t b = e == std::string::npos ? 0 : e + 1;
      while (b > 0 && std::isdigit(static_cast<unsigned char>(line[b - 1]))) --b;
      if (b > 1 && b <= e && line[b - 1] == '.') {
        std::size_t d = b - 1;
        while (d > 0 && std::isdigit(static_cast<unsigned char>(line[d - 1]))) --d;
        // The blanks before it too: "%8.2f" pads 0.25 with more of them than 121.65.
        if (d < b - 1) {
          while (d > 0 && line[d - 1] == ' ') --d;
          line.resize(d);
        }
      }
    }
    out += line + passes + "\n";
    begin = end + 1;
  }
  return out;
}

std::string without_exchange(const std::string& text) {
  std::string out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(begin, end - begin);
    if (line.rfind("( \t counts summed over ", 0) != 0) out += line;
    begin = end;
  }
  return out;
}

std::string without_level_windows(const std::string& text) {
  std::string out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(begin, end - begin);
    const std::size_t windows = line.rfind(" \t ");
    if (line.find("\t zax") != std::string::npos && windows != std::string::npos &&
        line.find(" passes", windows) != std::string::npos) {
      line = line.substr(0, windows) + (line.back() == '\n' ? "\n" : "");
    }
    out += line;
    begin = end;
  }
  return out;
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
