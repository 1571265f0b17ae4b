// Reader of FIMI text files: one transaction a line, items as decimal numbers.
//
// An item is a maximal run of digits; any other byte separates items, except
// two that would silently change a number and are errors: a '-' directly before
// a digit and a '.' between two digits. A value of 2^32 or more is an error.
// A final line without a newline is a transaction too; a line without digits is
// an empty transaction. Errors throw run_error("<file>:<line>: <what>").
// The file is read in large blocks (read(2)), never byte by byte through stdio,
// and exactly once, so a pipe works.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/pass_meter.h"

class fimi_reader {
 public:
  // Opens the file; throws run_error with open_error_message when it cannot be
  // opened. block_size is the read size (tests and fuzzing use tiny blocks so
  // that numbers and lines straddle block boundaries).
  fimi_reader(const std::string& name, const std::string& open_error_message,
              std::size_t block_size = std::size_t{1} << 20);
  ~fimi_reader();
  fimi_reader(const fimi_reader&) = delete;
  fimi_reader& operator=(const fimi_reader&) = delete;

  // Reads the next line's items in line order (duplicates kept); false at the end.
  bool next_line(std::vector<std::uint32_t>& items);

  // Keeps to part `part` of `parts` equal byte ranges of a regular file: the
  // lines that begin in that range. Part p > 0 starts after the first newline
  // at or after its first byte - 1; every part reads through the line that
  // crosses its end, so the parts together read every line exactly once. Line
  // numbers in errors count from the part's first line. Call before reading.
  // Throws run_error("<file>: the input must be a regular file to be split")
  // for a pipe or a device.
  void keep_to_part(std::uint64_t part, std::uint64_t parts);

  // When set, told the bytes read (file offsets) after every block.
  pass_meter* meter = nullptr;

 private:
  bool fill();
  [[noreturn]] void error(const char* what) const;
  [[noreturn]] void too_large(std::uint64_t value);
  std::string name_;
  int fd_ = -1;
  std::vector<char> buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
  std::uint64_t line_ = 0;
  std::uint64_t block_start_ = 0;        // file offset of buf_[0]
  std::uint64_t part_end_ = UINT64_MAX;  // no line begins at or after it
};
