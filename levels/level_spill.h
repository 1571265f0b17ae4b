// A level kept in a file because it outgrew the memory budget: records of k
// dense items (T), the support (T1) and one byte per loose constraint (1 when
// the itemset satisfies it), in the level's lexicographic order. Key records
// are not kept: a level read back from a file is joined without inference.
// It is written a window at a time (a store of whole groups appended in order)
// and read back a window of whole groups at a time, so a window read is a
// valid level store that joins on its own.
// The file is removed when the object goes (a link at its name is kept) (on every exit path: a failing or
// interrupted run unwinds through here); the caller names it beside
// "dataset.tmp". A failed open, write, flush or close throws
// run_error("<name> could not be written!"), a short record
// run_error("<name> is truncated!").
// T is the dense item type, T1 the support type.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "levels/level_store.h"
#include "util/error.h"

template <class T, class T1>
class level_spill {
 public:
  // The bytes of the file's buffer.
  static constexpr std::size_t kBufferBytes = 1 << 16;

  explicit level_spill(std::string name) : name_(std::move(name)) {}
  ~level_spill() {
    close_quietly(file_);
    if (created_) remove_written_file(name_);
  }
  level_spill(const level_spill&) = delete;
  level_spill& operator=(const level_spill&) = delete;

  // Starts an empty level of k-itemsets with n_loose loose flags each.
  void start_writing(int k, int n_loose) {
    close_quietly(file_);
    file_ = std::fopen(name_.c_str(), "w+b");
    if (file_ == nullptr) fail_write();
    created_ = true;
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    k_ = k;
    n_loose_ = n_loose;
    itemsets_ = 0;
    record_.resize(record_bytes());
  }

  // Appends the itemsets of window, which follow every one written so far.
  void append(const level_store<T, T1>& window) {
    group_walk<T, T1> walk(window);
    const std::size_t width = sizeof(T) * static_cast<std::size_t>(k_ - 1);
    for (int g = 0; g < window.number_of_groups(); ++g) {
      walk.move_to(g);
      std::memcpy(record_.data(), walk.prefix(), width);
      int first, last;
      window.group_span(g, first, last);
      for (int s = first; s <= last; ++s) {
        char* p = record_.data() + width;
        std::memcpy(p, &window.suffixes[static_cast<std::size_t>(s)], sizeof(T));
        p += sizeof(T);
        const T1 support = window.supports[static_cast<std::size_t>(s)];
        std::memcpy(p, &support, sizeof(T1));
        p += sizeof(T1);
        for (int u = 0; u < n_loose_; ++u) p[u] = window.flag(s, u) ? 1 : 0;
        if (std::fwrite(record_.data(), 1, record_.size(), file_) != record_.size()) fail_write();
        ++itemsets_;
      }
    }
  }

  // Ends the writing: every record is in the file (a failed flush throws).
  void finish_writing() {
    if (std::fflush(file_) != 0) fail_write();
  }

  // Reads from the first record on.
  void start_reading() {
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) fail_write();
    read_ = 0;
    have_ahead_ = false;
  }

  // Clears window for level k and reads whole groups into it, at least one,
  // until it holds max_itemsets itemsets or its groups give max_joins joined
  // pairs. False when every record has been read.
  bool read_window(level_store<T, T1>& window, std::uint64_t max_itemsets,
                   std::uint64_t max_joins) {
    window.clear(k_);
    std::uint64_t joins = 0, in_group = 0;
    std::vector<T> prefix;
    while (have_ahead_ || read_ < itemsets_) {
      if (!have_ahead_) read_ahead();
      const T* items = reinterpret_cast<const T*>(ahead_.data());
      const bool opens_group =
          window.n_itemsets == 0 || !std::equal(prefix.begin(), prefix.end(), items);
      if (opens_group) {
        if (window.n_itemsets > 0 &&
            (static_cast<std::uint64_t>(window.n_itemsets) >= max_itemsets || joins >= max_joins))
          return true;
        prefix.assign(items, items + k_ - 1);
        in_group = 0;
      }
      joins += in_group++;  // the new itemset joins every earlier one of its group
      T1 support;
      std::memcpy(&support, ahead_.data() + sizeof(T) * k_, sizeof(T1));
      window.add_itemset(
          items, support,
          reinterpret_cast<const std::uint8_t*>(ahead_.data()) + sizeof(T) * k_ + sizeof(T1),
          n_loose_);
      have_ahead_ = false;
    }
    return window.n_itemsets > 0;
  }

  std::uint64_t itemsets() const { return itemsets_; }
  const std::string& name() const { return name_; }

 private:
  std::size_t record_bytes() const {
    return sizeof(T) * static_cast<std::size_t>(k_) + sizeof(T1) +
           static_cast<std::size_t>(n_loose_);
  }
  void read_ahead() {
    ahead_.resize(record_bytes());
    if (std::fread(ahead_.data(), 1, ahead_.size(), file_) != ahead_.size())
      throw run_error(name_ + " is truncated!");
    ++read_;
    have_ahead_ = true;
  }
  static void close_quietly(std::FILE*& f) {
    if (f != nullptr) std::fclose(f);
    f = nullptr;
  }
  // Removes the file the levels were written to. A symbolic link at the name
  // (written through, as "dataset.tmp" and the output are) is the user's and
  // stays; its target, a regular file that held only our records, is emptied.
  static void remove_written_file(const std::string& name) {
    struct stat at_name, target;
    if (::lstat(name.c_str(), &at_name) != 0) return;
    if (S_ISREG(at_name.st_mode)) {
      ::unlink(name.c_str());
    } else if (S_ISLNK(at_name.st_mode) && ::stat(name.c_str(), &target) == 0 &&
               S_ISREG(target.st_mode) && ::truncate(name.c_str(), 0) != 0) {
      // Nothing more to do: the run is ending either way.
    }
  }
  [[noreturn]] void fail_write() { throw run_error(name_ + " could not be written!"); }

  std::string name_;
  std::FILE* file_ = nullptr;
  bool created_ = false;
  int k_ = 0;
  int n_loose_ = 0;
  std::uint64_t itemsets_ = 0;  // records written
  std::uint64_t read_ = 0;      // records read (the one ahead included)
  bool have_ahead_ = false;     // ahead_ holds a record not yet in a window
  std::vector<char> record_;
  std::vector<char> ahead_;
  std::vector<char> buffer_ = std::vector<char>(kBufferBytes);  // outlives the file
};
