#include "tests/support/judge.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "tests/support/reference_miner.h"

namespace {

// Sums the Rk column over the level rows (" k: [phase] Ck Lk Rk ..."; the Winnow
// rows start with '(' and are skipped). Returns "" or why a row is unreadable.
std::string sum_written_column(const std::string& stdout_text, long long* sum) {
  *sum = 0;
  std::istringstream lines(stdout_text);
  bool any = false;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t i = line.find_first_not_of(' ');
    const std::size_t j = line.find_first_not_of("0123456789", i);
    if (i == std::string::npos || j == i || j == std::string::npos || line[j] != ':') continue;
    std::istringstream fields(line.substr(j + 1));
    std::vector<std::string> tokens;
    for (std::string tok; fields >> tok;) tokens.push_back(tok);
    // The phase name is absent on the level-0 row.
    const std::size_t first = !tokens.empty() && !(tokens[0][0] >= '0' && tokens[0][0] <= '9');
    if (tokens.size() < first + 3) return "unreadable progress row: " + line;
    char* end = nullptr;
    *sum += std::strtoll(tokens[first + 2].c_str(), &end, 10);
    if (*end != '\0') return "unreadable Rk in progress row: " + line;
    any = true;
  }
  return any ? "" : "no progress rows on stdout";
}

}  // namespace

std::string judge_run(const run_outcome& run, const std::vector<std::string>& expected,
                      std::size_t prefix_len) {
  std::ostringstream s;
  if (run.signal_number != 0) return "killed by signal " + std::to_string(run.signal_number) + "\n";
  if (run.exit_status != 0)
    return "exit status " + std::to_string(run.exit_status) + ", stderr: " + run.stderr_text + "\n";
  const std::vector<std::string> actual = reference::normalise_output(run.output_text, prefix_len);
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                      std::back_inserter(missing));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  if (!missing.empty() || !extra.empty()) {
    s << "expected " << expected.size() << " lines, got " << actual.size() << "; " << missing.size()
      << " missing, " << extra.size() << " unexpected\n";
    for (std::size_t k = 0; k < missing.size() && k < 8; ++k)
      s << "  missing:    " << missing[k] << "\n";
    for (std::size_t k = 0; k < extra.size() && k < 8; ++k)
      s << "  unexpected: " << extra[k] << "\n";
  }
  long long rk = 0;
  const std::string why = sum_written_column(run.stdout_text, &rk);
  if (!why.empty()) {
    s << why << "\n";
  } else if (rk != static_cast<long long>(actual.size())) {
    s << "progress table Rk sums to " << rk << " but the output has " << actual.size()
      << " lines\n";
  }
  // "\n Total time: " closes a run whose engine ran; that run removes the file.
  if (run.stdout_text.find("\n Total time: ") != std::string::npos && run.temporary_left)
    s << "dataset.tmp left behind after a completed engine run\n";
  return s.str();
}
