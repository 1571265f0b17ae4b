// Transaction records and the temporary dataset "dataset.tmp".
//
// The temporary dataset is a headerless sequence of records in native byte order:
// a length followed by that many items. Two layouts exist:
//   - 32-bit layout (first scan, Winnow passes): uint32 length, uint32 input ids;
//   - typed layout for T (engine, from pair counting on): T length, T dense ids,
//     strictly ascending.
// Only non-empty transactions are stored; the file carries no count.
// Every pass rewrites the file in place: a temp_dataset_reader reads it while a temp_dataset_writer
// (opened without create) writes the shrunken records back from offset 0. A
// written record is never longer than the one just read, so the writer never
// overtakes the reader; cut() cuts the file at the end of what was written.
// Every write, flush and close is checked: a failure throws
// run_error("<name> could not be written!"); a failed cut throws
// run_error("<name> could not be cut!").
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "util/error.h"
#include "util/pass_meter.h"
#include "util/transaction.h"

// Item occurrences the temporary dataset `name` holds when it holds `records`
// records of word_bytes-byte words: its words less a length word per record.
// UINT64_MAX when its size cannot be read (no bound).
inline std::uint64_t items_in_temp_dataset(const std::string& name, std::uint64_t records,
                                           std::uint64_t word_bytes) {
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(name, error);
  if (error) return UINT64_MAX;
  const std::uint64_t words = static_cast<std::uint64_t>(bytes) / word_bytes;
  return words > records ? words - records : 0;
}

// The engine's typed transaction buffer (out-of-core counting).
//   elems     capacity items;
//   marks     per item id: distance of the item from the end of the current
//             transaction (1 for the last item), 0 when absent;
//   counters  per position: how many contained candidates the item belongs to.
template <class T>
struct counting_transaction {
  counting_transaction(std::uint32_t capacity, int n_items)
      : elems(capacity), marks(n_items > 0 ? n_items : 0, 0), counters(capacity), capacity(capacity) {}
  std::vector<T> elems;
  std::vector<T> marks;
  T length = 0;
  std::vector<std::uint32_t> counters;
  std::uint32_t capacity;
};

// Reader of the temporary dataset, for either layout (T = uint32 for the 32-bit one).
// With a meter, its life is a pass over "dataset.tmp" that the meter follows.
template <class T>
class temp_dataset_reader {
 public:
  explicit temp_dataset_reader(const std::string& name, pass_meter* meter = nullptr)
      : name_(name), meter_(meter) {
    f_ = std::fopen(name.c_str(), "rb");
    // glibc ignores the size when it allocates the buffer itself: pass our own.
    if (f_ != nullptr) std::setvbuf(f_, buf_.data(), _IOFBF, buf_.size());
    if (meter_ != nullptr) meter_->begin_file("dataset.tmp", file_bytes(), false);
  }
  ~temp_dataset_reader() {
    if (meter_ != nullptr) meter_->end();
    if (f_ != nullptr) std::fclose(f_);
  }
  temp_dataset_reader(const temp_dataset_reader&) = delete;
  temp_dataset_reader& operator=(const temp_dataset_reader&) = delete;
  bool is_open() const { return f_ != nullptr; }

  // Reads the next record into t (whose elems has room for the longest record).
  // false at the end of data; a record cut short throws run_error.
  bool read_next(counting_transaction<T>& t) {
    T len;
    if (!read_length(&len)) return false;
    if (len > t.capacity) throw run_error(name_ + " holds a record longer than expected!");
    read_items(t.elems.data(), len);
    t.length = len;
    return true;
  }
  bool read_next(transaction_view<T>& t, std::uint32_t capacity) {
    T len;
    if (!read_length(&len)) return false;
    if (len > capacity) throw run_error(name_ + " holds a record longer than expected!");
    read_items(t.items, len);
    t.length = len;
    return true;
  }
  // Variable-capacity form used by the first scan and the Winnow passes.
  bool read_next(std::vector<T>& items) {
    T len;
    if (!read_length(&len)) return false;
    items.resize(len);
    read_items(items.data(), len);
    return true;
  }

 private:
  // Unlocked: the stream is this reader's alone, and the lock of two reads
  // per record cost more than the copies.
  bool read_length(T* len) {
    std::size_t got = fread_unlocked(len, 1, sizeof(T), f_);
    if (meter_ != nullptr && (++records_ & 0xFFF) == 0)
      meter_->set_bytes(static_cast<std::uint64_t>(ftello(f_)));
    if (got == sizeof(T)) return true;
    if (std::ferror(f_)) throw run_error(name_ + " could not be read!");
    // A partial length at the end of the file is a cut record, not the end.
    if (got != 0) throw run_error(name_ + " is truncated!");
    return false;
  }
  void read_items(T* out, std::size_t len) {
    if (len != 0 && fread_unlocked(out, sizeof(T), len, f_) != len)
      throw run_error(name_ + " is truncated!");
  }
  std::uint64_t file_bytes() const {
    struct stat st;
    return f_ != nullptr && fstat(fileno(f_), &st) == 0 ? static_cast<std::uint64_t>(st.st_size)
                                                        : 0;
  }
  std::string name_;
  pass_meter* meter_;
  std::uint64_t records_ = 0;                           // read, while a meter follows them
  std::vector<char> buf_ = std::vector<char>(1 << 20);  // outlives f_ (closed in the destructor)
  FILE* f_ = nullptr;
};

// Writer of the temporary dataset. create: "w+" (new or emptied file);
// otherwise "r+" (existing file, written from its start, not emptied).
// Records are laid out in a buffer of its own and written a buffer at a time
// through an unbuffered stream: two stream writes per record (length, items)
// took 4 % of the processor time of a run over a million short transactions.
template <class T>
class temp_dataset_writer {
 public:
  temp_dataset_writer(const std::string& name, bool create) : name_(name) {
    f_ = std::fopen(name.c_str(), create ? "w+" : "r+");
    if (f_ != nullptr) std::setvbuf(f_, nullptr, _IONBF, 0);
  }
  ~temp_dataset_writer() {
    if (f_ != nullptr) std::fclose(f_);  // close() reports errors; this is the unwinding path
  }
  temp_dataset_writer(const temp_dataset_writer&) = delete;
  temp_dataset_writer& operator=(const temp_dataset_writer&) = delete;
  bool is_open() const { return f_ != nullptr; }

  void write_record(const T* items, T length) {
    ++n_written;
    bytes_written += sizeof(T) * (1 + static_cast<std::uint64_t>(length));
    const std::size_t words = 1 + static_cast<std::size_t>(length);
    if (used_ + words > buf_.size()) {
      flush_buffer();
      if (words > buf_.size()) buf_.resize(words);
    }
    T* out = buf_.data() + used_;
    out[0] = length;
    if (length != 0) std::memcpy(out + 1, items, sizeof(T) * length);
    used_ += words;
  }

  // Cuts the file at the current write position (buffered bytes included).
  // A failed write of the buffer is a failed write; a failed truncate (a device such as
  // /dev/null accepts writes but cannot be cut) is a failed cut.
  void cut() {
    flush_buffer();
    long pos = std::ftell(f_);
    if (pos < 0 || ftruncate(fileno(f_), static_cast<off_t>(pos)) != 0)
      throw run_error(name_ + " could not be cut!");
  }

  // Writes what is buffered and closes; any failure throws run_error.
  void close() {
    if (f_ == nullptr) return;
    flush_buffer();
    FILE* f = f_;
    f_ = nullptr;
    if (std::fclose(f) != 0) fail();
  }

  std::uint64_t n_written = 0;
  std::uint64_t bytes_written = 0;

 private:
  [[noreturn]] void fail() { throw run_error(name_ + " could not be written!"); }
  void flush_buffer() {
    if (used_ != 0 && std::fwrite(buf_.data(), sizeof(T), used_, f_) != used_) fail();
    used_ = 0;
  }
  std::string name_;
  std::vector<T> buf_ = std::vector<T>((std::size_t{1} << 20) / sizeof(T));
  std::size_t used_ = 0;  // words of buf_ not yet written
  FILE* f_ = nullptr;
};
