// Runs the real kestrel binary for the whole-program tests and judges a run
// against the output contract. Every run works in its own directory under /tmp;
// a failing differential case keeps it, so the case can be replayed by hand.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrel_test {

struct RunOutcome {
  int exit_status = -1;  // -1 with signal_number set when killed
  int signal_number = 0;
  std::string stdout_text, stderr_text;
  std::string output_text;  // the output file, empty when absent
  bool output_exists = false;
  bool temporary_left = false;  // "dataset.tmp" still in the directory afterwards
  std::string command;          // a shell line that replays the run
};

std::string make_temp_dir(const std::string& tag);  // a new /tmp/kestrel-<tag>-XXXXXX
void remove_tree(const std::string& dir);
void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);

// Runs kestrel with args inside dir (the output file is the "output" option,
// relative to dir); stdin_path empty means /dev/null. Killed after 300 s.
RunOutcome run_kestrel(const std::string& dir, const std::vector<std::string>& args,
                       const std::string& stdin_path = "");

// "" when the run is correct: exit 0, the output file normalised (prefix_len as
// for reference::normalise_output) equal to the expected sorted lines, the
// progress table's Rk column summing to the lines written, and no "dataset.tmp"
// left after a run whose engine ran. Otherwise a report.
std::string judge_run(const RunOutcome& run, const std::vector<std::string>& expected,
                      std::size_t prefix_len);

}  // namespace kestrel_test
