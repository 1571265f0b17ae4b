#include "driver/command_line.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "driver/interrupt_signals.h"
#include "driver/options.h"
#include "include/kestrel/kestrel.h"
#include "mining/run.h"
#include "util/error.h"

namespace {

int run(int argc, char** argv, cluster* peers, bool speaks,
        void (*prepare)(kestrel::run_description&)) {
  kestrel::run_description description;
  if (argc <= 2 && !speaks) return 1;  // rank 0 prints the usage text
  if (!ParseArguments(argc, argv, description)) return 1;
  if (prepare != nullptr) prepare(description);
  kestrel::run_hooks hooks;
  // Every rank stops at its next poll once it has caught SIGINT or SIGTERM.
  hooks.stop_requested = [] { return caught_interrupt() != 0; };
  if (speaks) {
    hooks.report = [](const char* text) {
      std::fputs(text, stdout);
      // The total time closes a run: stdout must have taken everything before the
      // run counts as complete (a failure still discards the output file).
      if (std::strstr(text, "Total time: ") != nullptr &&
          (std::fflush(stdout) != 0 || std::ferror(stdout)))
        throw run_error("standard output could not be written!");
    };
  }
  mine_shared(description, hooks, peers);
  return 0;
}

}  // namespace

int run_command_line(int argc, char** argv, cluster* peers,
                     void (*prepare)(kestrel::run_description&)) {
  const bool speaks = peers == nullptr || peers->leads();
  const char* message = nullptr;
  std::string text;
  try {
    return run(argc, argv, peers, speaks, prepare);
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
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message != nullptr ? message : text.c_str());
  }
  // A run cut short by a signal ends with the status of a program it killed.
  const int signal_number = caught_interrupt();
  return signal_number != 0 ? 128 + signal_number : 1;
}
