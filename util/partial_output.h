// An output file that is whole or absent.
//
// A run does not write a regular output file under its own name: it writes a
// temporary file beside it, "<name>.kestrel-partial-<pid>-<random>", and
// renames that over the name once the run has completed and the file is
// closed. The name never holds a list of itemsets cut short, and a file that
// was there before stays as it was until the new one replaces it. A run that
// fails removes the temporary file; a run killed on the way (SIGKILL, the
// out-of-memory killer) leaves it, and its name says what it is. The file is
// not synced before the rename: that would cost about the time of writing it.
// The temporary file is created with the mode the output would get: that of
// the file it replaces (and its owner where the run may set it), else 0666
// less the umask.
//
// What cannot be replaced is written in place, as before: an existing output
// that is not a regular file (a pipe, a terminal, /dev/full, /dev/null) and a
// regular file that is this process's standard output or standard error
// ("output /dev/stdout > log" shares the log with the statistics). A symbolic
// link is followed to the file it names (that file need not exist yet): the
// temporary file lies beside that file and replaces it, and the link keeps
// pointing at the new file.
#pragma once

#include <cstdio>
#include <string>

struct partial_output {
  std::string path;      // the temporary file; empty: written in place
  std::string replaces;  // the file it is renamed to: the output or its link's target
};

// Opens the file the output `name` is written to (empty, for writing), or
// null with errno set when it cannot be created. Fills partial when the output
// goes through a temporary file.
std::FILE* open_output(const std::string& name, partial_output& partial);

// Renames the temporary file over the file it replaces (nothing when the
// output was written in place). False when the rename fails; the temporary
// file is then still there.
bool put_in_place(partial_output& partial);

// Removes the temporary file, if any.
void discard(partial_output& partial);

// The part of a temporary file's name after the output's: tests and the
// README name stale files by it.
constexpr const char* kPartialSuffix = ".kestrel-partial-";
