// What the passes of a level counted in chunks tell each other about every
// transaction. The pruning that rewrites a transaction needs, for each of its
// items, how many contained candidates of the whole level hold it (local
// pruning: at least k), and for each loose constraint whether some contained
// candidate satisfies it. A pass over one chunk sees only that chunk's share, so
// every pass but the last adds its share to the sums kept here, and the last
// pass, the one that rewrites "dataset.tmp", reads the sums of all the others.
//
// File layout: one record per transaction counted (those that survive the
// pruning before counting: the same ones, in the same order, in every pass of a
// level): one counter of type T per item of the transaction, saturated at k
// (only "at least k" matters, and k <= the item count fits T), then one byte
// (0 or 1) per loose constraint. The length is the transaction's own and is not
// stored. Every pass rewrites the records in place (same size, so the writer
// never overtakes the reader). The file lives beside "dataset.tmp" as
// "dataset.tmp.counts" and is removed when the object goes.
// Every failed write, flush or close throws run_error("<name> could not be
// written!"); a short record throws run_error("<name> is truncated!").
// T is the dense item type.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "util/error.h"

template <class T>
class partial_counts {
 public:
  // dataset_path: the run's "dataset.tmp"; n_flags: the number of loose constraints.
  partial_counts(const std::string& dataset_path, std::size_t n_flags)
      : name_(dataset_path + ".counts"), n_flags_(n_flags) {}
  ~partial_counts() {
    close_quietly(reader_);
    close_quietly(writer_);
    std::remove(name_.c_str());
  }
  partial_counts(const partial_counts&) = delete;
  partial_counts& operator=(const partial_counts&) = delete;

  // Starts a pass. read: the records of the earlier passes are read back
  // (add_kept, in order); write: this pass keeps its sums (keep, in order).
  void start_pass(bool read, bool write) {
    close_quietly(reader_);
    if (writer_ != nullptr && !write) close_writer();
    if (writer_ != nullptr && std::fflush(writer_) != 0) fail_write();
    if (read) {
      reader_ = std::fopen(name_.c_str(), "rb");
      if (reader_ == nullptr) throw run_error(name_ + " could not be opened!");
      std::setvbuf(reader_, read_buf_.data(), _IOFBF, read_buf_.size());
    }
    if (write) {
      if (writer_ == nullptr) {
        writer_ = std::fopen(name_.c_str(), "w+b");
        if (writer_ == nullptr) throw run_error(name_ + " could not be opened!");
        std::setvbuf(writer_, write_buf_.data(), _IOFBF, write_buf_.size());
      } else if (std::fseek(writer_, 0, SEEK_SET) != 0) {
        fail_write();
      }
    }
  }

  // Adds the next record's sums to counters[0..length) and ORs its flags into
  // flags (one per loose constraint).
  void add_kept(std::uint32_t* counters, std::vector<std::uint8_t>& flags, std::uint32_t length) {
    assert(flags.size() == n_flags_);
    record_.resize(length);
    flag_buf_.resize(n_flags_);
    if ((length != 0 && std::fread(record_.data(), sizeof(T), length, reader_) != length) ||
        (n_flags_ != 0 && std::fread(flag_buf_.data(), 1, n_flags_, reader_) != n_flags_))
      throw run_error(name_ + " is truncated!");
    for (std::uint32_t i = 0; i < length; ++i) counters[i] += record_[i];
    for (std::size_t u = 0; u < flags.size(); ++u) flags[u] |= flag_buf_[u];
  }

  // Appends counters[0..length) saturated at k, and the flags.
  void keep(const std::uint32_t* counters, const std::vector<std::uint8_t>& flags,
            std::uint32_t length, std::uint32_t k) {
    record_.resize(length);
    for (std::uint32_t i = 0; i < length; ++i)
      record_[i] = static_cast<T>(std::min(counters[i], k));
    if ((length != 0 && std::fwrite(record_.data(), sizeof(T), length, writer_) != length) ||
        (n_flags_ != 0 && std::fwrite(flags.data(), 1, n_flags_, writer_) != n_flags_))
      fail_write();
  }

  // Ends the passes: flushes and closes the files; any failure throws.
  void finish() {
    close_quietly(reader_);
    if (writer_ != nullptr) close_writer();
  }

  const std::string& name() const { return name_; }

 private:
  void close_writer() {
    FILE* f = writer_;
    writer_ = nullptr;
    bool ok = std::fflush(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) fail_write();
  }
  static void close_quietly(FILE*& f) {
    if (f != nullptr) std::fclose(f);
    f = nullptr;
  }
  [[noreturn]] void fail_write() { throw run_error(name_ + " could not be written!"); }

  std::string name_;
  std::size_t n_flags_;
  std::vector<T> record_;
  std::vector<std::uint8_t> flag_buf_;
  std::vector<char> read_buf_ = std::vector<char>(1 << 20);   // outlive the files
  std::vector<char> write_buf_ = std::vector<char>(1 << 20);
  FILE* reader_ = nullptr;
  FILE* writer_ = nullptr;
};
