// Where a run's itemsets go, and a checked, buffered writer for it.
//
// An output_target names the output file, or holds a consumer that receives
// each written line as numbers instead (then no file is opened). The first scan
// creates the file; every later level appends to it. A regular file is written
// under a temporary name until the run completes (util/partial_output.h).
// A failed open throws run_error("<name> could not be opened for writing!");
// a failed write, flush or close throws run_error("<name> could not be
// written!"), so a full disk never passes silently. Messages name the output,
// never the temporary file. With names (the "names" option) every item of a
// line reaches the file as its name (util/item_names.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

class item_names;
class item_name_writer;

#include "util/partial_output.h"

// The items of one output line (as the line lists them) and its support.
using itemset_consumer =
    std::function<void(const std::uint32_t* items, std::size_t n, std::uint64_t support)>;

struct output_target {
  std::string file;           // the output file; empty with no consumer: nothing is written
  itemset_consumer consumer;  // set: lines go here, no file is opened
  const item_names* names = nullptr;  // set: the file gets names instead of ids
  // Set once this run has created (emptied) file: from then on a failed run
  // must not leave it behind looking complete.
  bool created = false;
  partial_output partial;  // the temporary file the lines go to until the run completes
  bool enabled() const { return consumer != nullptr || !file.empty(); }
};

class output_file {
 public:
  // mode "w+" creates (or empties) the file, "a" appends.
  output_file(const std::string& name, const char* mode);
  // The run's target: its consumer, or its file opened with mode: "w+" creates
  // it (through a temporary file where it is replaced at the end) and marks the
  // target created, "a" appends to what "w+" opened.
  output_file(output_target& target, const char* mode);
  ~output_file();  // closes without reporting: call close() on the normal path
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  void write(const char* bytes, std::size_t n) {
    if (used_ + n > sizeof buf_) flush_buffer();
    if (n > sizeof buf_) {
      raw_write(bytes, n);
      return;
    }
    std::memcpy(buf_ + used_, bytes, n);
    used_ += n;
  }
  // The largest room() a caller may ask for.
  static constexpr std::size_t kLineRoom = 1 << 16;
  // The bytes an open output file holds: its own buffer and the C library's.
  static constexpr std::size_t kHeldBytes = kLineRoom + BUFSIZ;
  // Room for n bytes (n <= kLineRoom) in the buffer, to be laid out in place and
  // then kept with commit(used), used <= n.
  char* room(std::size_t n) {
    if (used_ + n > sizeof buf_) flush_buffer();
    return buf_ + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  void write(const std::string& s) { write(s.data(), s.size()); }
  // Writes "%u " (the prefix-item and label format).
  void write_uint_blank(std::uint32_t v);
  // Writes "(%u)\n" (the support format).
  void write_support(std::uint64_t v);
  void close();
  const std::string& name() const { return name_; }

 private:
  void flush_buffer();
  void raw_write(const char* bytes, std::size_t n);
  void consume_lines(const char* bytes, std::size_t n);
  [[noreturn]] void fail() const;
  std::string name_;
  FILE* f_ = nullptr;
  itemset_consumer consumer_;
  std::string pending_;  // consumer mode: the bytes of the unfinished line
  std::unique_ptr<item_name_writer> names_;  // set: lines are written with names
  std::string named_;                        // the bytes of a write with names
  std::size_t used_ = 0;
  char buf_[kLineRoom];
};
