// ibm2fimi: converts a transaction file in the binary layout of the IBM
// synthetic data generator (per transaction: customer id, transaction id, item
// count n, then n items; all native int32) into FIMI text, one line per
// transaction: each item as "%d " and the line ended by "\n"; an empty
// transaction writes nothing. A record cut short or with a negative count ends
// the input. Usage: ibm2fimi <binary-in> <fimi-out>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/tool_main.h"
#include "util/error.h"

namespace {

// Reader of the generator's binary layout.
class ibm_reader {
 public:
  explicit ibm_reader(const std::string& name) : f_(std::fopen(name.c_str(), "r")) {}
  ~ibm_reader() {
    if (f_ != nullptr) std::fclose(f_);
  }
  ibm_reader(const ibm_reader&) = delete;
  ibm_reader& operator=(const ibm_reader&) = delete;
  bool is_open() const { return f_ != nullptr; }

  bool read_next(std::vector<std::int32_t>& items) {
    items.clear();
    std::int32_t head[3];  // customer id, transaction id, item count
    if (std::fread(head, sizeof(std::int32_t), 3, f_) != 3) return false;
    if (head[2] < 0) return false;  // not a record of the generator layout
    items.resize(static_cast<std::size_t>(head[2]));
    std::size_t n = items.size();
    if (n != 0 && std::fread(items.data(), sizeof(std::int32_t), n, f_) != n) {
      items.clear();
      return false;
    }
    return true;
  }

 private:
  FILE* f_;
};

// FIMI text writer; every write, flush and close is checked.
class fimi_writer {
 public:
  explicit fimi_writer(const std::string& name)
      : name_(name), f_(std::fopen(name.c_str(), "w+")) {}
  ~fimi_writer() {
    if (f_ != nullptr) std::fclose(f_);
  }
  fimi_writer(const fimi_writer&) = delete;
  fimi_writer& operator=(const fimi_writer&) = delete;
  bool is_open() const { return f_ != nullptr; }

  void write_record(const std::vector<std::int32_t>& items) {
    if (items.empty()) return;
    for (std::int32_t item : items)
      if (std::fprintf(f_, "%d ", item) < 0) fail();
    if (std::fputc('\n', f_) == EOF) fail();
  }
  void close() {
    FILE* f = f_;
    f_ = nullptr;
    bool ok = std::fflush(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) fail();
  }

 private:
  [[noreturn]] void fail() { throw run_error(name_ + " could not be written!"); }
  std::string name_;
  FILE* f_;
};

int convert(const std::string& in_name, const std::string& out_name) {
  ibm_reader in(in_name);
  if (!in.is_open()) throw run_error(in_name + " could not be opened!");
  fimi_writer out(out_name);
  if (!out.is_open()) throw run_error(out_name + " could not be opened for writing!");
  std::vector<std::int32_t> items;
  while (in.read_next(items)) out.write_record(items);
  out.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: ibm2fimi <binary-in> <fimi-out>\n", stderr);
    return 1;
  }
  return exit_status_of<run_error>([&] { return convert(argv[1], argv[2]); });
}
