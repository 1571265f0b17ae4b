// The output itemset file and a checked, buffered writer for it.
//
// OUTF names the output file and write_output tells whether one was given
// (always true in a run). The first scan creates the file; every later level
// appends to it. A failed open throws run_error("<name> could not be opened for
// writing!"); a failed write, flush or close throws
// run_error("<name> could not be written!"), so a full disk never passes silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern std::string OUTF;
extern bool write_output;
// Set once this run has created (emptied) the file OUTF: from then on a failed
// run must not leave it behind looking complete.
extern bool output_created;

class output_file {
 public:
  // mode "w+" creates (or empties) the file, "a" appends.
  output_file(const std::string& name, const char* mode);
  ~output_file();  // closes without reporting: call close() on the normal path
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  void write(const char* bytes, std::size_t n) {
    if (used_ + n > sizeof buf_) flush_buffer();
    if (n > sizeof buf_) {
      raw_write(bytes, n);
      return;
    }
    for (std::size_t i = 0; i < n; ++i) buf_[used_ + i] = bytes[i];
    used_ += n;
  }
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
  [[noreturn]] void fail() const;
  std::string name_;
  FILE* f_ = nullptr;
  std::size_t used_ = 0;
  char buf_[1 << 16];
};
