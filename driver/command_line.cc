#include "driver/command_line.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "driver/interrupt_signals.h"
#include "driver/options.h"
#include "driver/terminal_line.h"
#include "include/kestrel/kestrel.h"
#include "mining/run.h"
#include "util/error.h"

namespace {

// --help (-h) and --version as the first argument answer on stdout with
// status 0 and run nothing. Returns -1 for any other command line.
int answer_help_or_version(int argc, char** argv, bool speaks) {
  if (argc < 2) return -1;
  const std::string first = argv[1];
  if (first != "--help" && first != "-h" && first != "--version") return -1;
  if (!speaks) return 0;
  if (first == "--version")
    std::printf("kestrel %s\n", KESTREL_VERSION);
  else
    printUsage(stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw run_error("standard output could not be written!");
  return 0;
}

int run(int argc, char** argv, cluster* peers, bool speaks, terminal_line& pass_line,
        void (*prepare)(kestrel::run_description&)) {
  const int answered = answer_help_or_version(argc, argv, speaks);
  if (answered >= 0) return answered;
  kestrel::run_description description;
  if (argc <= 2 && !speaks) return 1;  // rank 0 prints the usage text
  bool quiet = false;
  if (!ParseArguments(argc, argv, description, &quiet)) return 1;
  if (prepare != nullptr) prepare(description);
  kestrel::run_hooks hooks;
  // Every rank stops at its next poll once it has caught SIGINT or SIGTERM.
  hooks.stop_requested = [] { return caught_interrupt() != 0; };
  if (speaks) {
    hooks.report = [&pass_line](const char* text) {
      pass_line.erase();
      // Each row goes out as its level ends, whatever stdout is (a log, a
      // pipe): a long run can be followed. A failed write shows at the end.
      std::fputs(text, stdout);
      std::fflush(stdout);
      // The total time closes a run: stdout must have taken everything before the
      // run counts as complete (a failure still discards the output file).
      if (std::strstr(text, "Total time: ") != nullptr && std::ferror(stdout))
        throw run_error("standard output could not be written!");
    };
    // The pass line only where a person watches: stderr a terminal.
    if (!quiet && isatty(STDERR_FILENO))
      hooks.pass_line = [&pass_line](const char* line) { pass_line.show(line); };
  }
  const kestrel::run_statistics stats = mine_shared(description, hooks, peers);
  // Letters separate items: a file of named items reads as empty transactions
  // and mines "successfully". Say so, and how to convert it.
  if (speaks && stats.transactions > 0 && stats.item_occurrences == 0)
    std::fprintf(stderr,
                 "%s holds no decimal item ids (every line is an empty transaction); "
                 "names2fimi converts a file of named items\n",
                 description.input.c_str());
  return 0;
}

}  // namespace

int run_command_line(int argc, char** argv, cluster* peers,
                     void (*prepare)(kestrel::run_description&)) {
  const bool speaks = peers == nullptr || peers->leads();
  const char* message = nullptr;
  std::string text;
  terminal_line pass_line;
  try {
    return run(argc, argv, peers, speaks, pass_line, prepare);
  } catch (const run_error& e) {
    text = e.what();
  } catch (const kestrel::run_error& e) {
    text = e.what();
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& e) {
    text = std::string("internal error: ") + e.what();
  }
  if (speaks) {
    pass_line.erase();
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message != nullptr ? message : text.c_str());
  }
  // A run cut short by a signal ends with the status of a program it killed.
  const int signal_number = caught_interrupt();
  return signal_number != 0 ? 128 + signal_number : 1;
}
