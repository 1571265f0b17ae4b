// Runs the real kestrel binary for the whole-program tests and judges a run
// against the output contract: exit status 0, the output file equal (normalised)
// to the reference lines, the progress table's Rk column summing to the number
// of lines written, and "dataset.tmp" gone after a run whose engine ran.
//
// Every run gets a fresh directory under /tmp; a run that fails a check keeps
// its directory (inputs, stdout, stderr, output, and a failure.txt with the
// command line and the differing lines) so the case can be replayed by hand.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrel_test {

struct RunOutcome {
  int exit_status = -1;  // -1 with signal_number set when killed
  int signal_number = 0;
  std::string stdout_text;
  std::string stderr_text;
  std::string output_text;  // the output file, empty when absent
  bool output_exists = false;
  bool temporary_left = false;  // "dataset.tmp" still in the directory afterwards
  std::string command;          // a shell line that replays the run inside dir
};

// A new empty directory /tmp/kestrel-<tag>-XXXXXX.
std::string make_temp_dir(const std::string& tag);
void remove_tree(const std::string& dir);
void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);

// Runs kestrel with args inside dir (the output file name is read from the
// "output" option, relative to dir). stdin_path empty means /dev/null.
// The child is killed after timeout_seconds.
RunOutcome run_kestrel(const std::string& dir, const std::vector<std::string>& args,
                       const std::string& stdin_path = "", unsigned timeout_seconds = 300);

// Sums the Rk column over the progress rows (levels 0, 1, 2, ...; Winnow rows
// excluded). Returns false with a reason when a row cannot be read.
bool sum_written_column(const std::string& stdout_text, long long* sum, std::string* why);

// Lines in one sorted list but not the other, at most max_shown of each side.
std::string describe_difference(const std::vector<std::string>& expected,
                                const std::vector<std::string>& actual, std::size_t max_shown);

// All checks of one completed run against the expected (normalised, sorted)
// lines; prefix_len as for reference::normalise_output. Returns "" when the
// run is correct, else a report.
std::string judge_run(const RunOutcome& run, const std::vector<std::string>& expected,
                      std::size_t prefix_len);

}  // namespace kestrel_test
