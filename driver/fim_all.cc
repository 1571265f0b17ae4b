// KESTREL's command line: parse argv into a run description, mine through the
// library entry point (include/kestrel/kestrel.h) with hooks that print the
// report on stdout and let the run write the output file, and turn a failure
// into one line on stderr and exit status 1.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include "driver/options.h"
#include "include/kestrel/kestrel.h"
#include "util/error.h"

namespace {

int run(int argc, char** argv) {
  kestrel::run_description description;
  if (!ParseArguments(argc, argv, description)) return 1;
  kestrel::run_hooks hooks;
  hooks.report = [](const char* text) {
    std::fputs(text, stdout);
    // The total time closes a run: stdout must have taken everything before the
    // run counts as complete (a failure still discards the output file).
    if (std::strstr(text, "Total time: ") != nullptr &&
        (std::fflush(stdout) != 0 || std::ferror(stdout)))
      throw run_error("standard output could not be written!");
  };
  kestrel::mine(description, hooks);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe on stdout or as the output file must be a write error (one
  // line, exit 1), not death by SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return run(argc, argv);
  } catch (const run_error& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
  } catch (const kestrel::run_error& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs("out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "internal error: %s\n", e.what());
  }
  return 1;
}
