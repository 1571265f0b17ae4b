// Runs the real kestrel binary (or another program) for the whole-program tests:
// in a directory of its own, standard error (and by default standard output)
// captured into files there, killed after 300 s so a hung run fails as a signal.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

struct run_outcome {
  int exit_status = -1;  // -1 with signal_number set when killed
  int signal_number = 0;
  std::string stdout_text;  // "" when standard output was not a regular file
  std::string stderr_text;
  std::string output_text;  // the file of the "output" option, "" when absent
  bool output_exists = false;
  bool temporary_left = false;  // "dataset.tmp" still in the directory afterwards
  std::string command;          // a shell line that replays the run
};

// Where a run's standard streams go, and what runs.
struct run_io {
  std::string stdin_path;  // "" means /dev/null
  // When set, standard input is a pipe that the test writes this text into
  // (at construction) and then closes.
  std::optional<std::string> stdin_text;
  std::string stdout_path;  // "" means a file of its own in the run's directory
  int stdout_fd = -1;       // when >= 0, standard output is this descriptor instead
  std::string program = KESTREL_BIN;
};

// One program started at construction with the arguments args, working in dir;
// SIGPIPE is at its default, as from a shell. finish() waits for the end; a run
// never finished is killed when the object goes away.
class kestrel_run {
 public:
  kestrel_run(const std::string& dir, const std::vector<std::string>& args, const run_io& io = {});
  ~kestrel_run();
  kestrel_run(const kestrel_run&) = delete;
  kestrel_run& operator=(const kestrel_run&) = delete;

  const run_outcome& finish();
  // Sends signal_number to the running program (nothing once it has finished).
  void send_signal(int signal_number);

 private:
  std::string dir_, out_path_, err_path_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
  bool done_ = false;
  run_outcome outcome_;
};

// Starts a run and waits for it.
run_outcome run_kestrel(const std::string& dir, const std::vector<std::string>& args,
                        const run_io& io = {});

// Runs program (one of the tools, or kestrel) with args in the working
// directory, a test_dir, and waits for it.
run_outcome run_here(const std::string& program, const std::vector<std::string>& args);
