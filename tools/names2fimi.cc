// names2fimi: converts a basket file of named items into FIMI text plus a map
// file that kestrel's "names" option reads back.
//
// Input: one transaction per line; items are names separated by blanks, tabs
// or commas; a name is any run of other bytes (a "\r" before the newline ends
// the line and belongs to no name). A final line without a newline is a
// transaction. Names get ids 0, 1, 2, ... in the order they first appear.
// Output: one FIMI line per input line (an empty one for a line without
// names), the ids of its names in their order separated by one blank; the map
// holds one line per id, "<id> <name>", ascending.
// Usage: names2fimi <basket-in> <fimi-out> <map-out>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tool_main.h"
#include "util/decimal.h"
#include "util/error.h"

namespace {

// A file written through a large buffer; every write, flush and close is checked.
class checked_writer {
 public:
  explicit checked_writer(const std::string& name) : name_(name), f_(std::fopen(name.c_str(), "w")) {
    if (f_ == nullptr) throw run_error(name + " could not be opened for writing!");
    buf_.reserve(kFlushAt + 4096);
  }
  ~checked_writer() {
    if (f_ != nullptr) std::fclose(f_);
  }
  checked_writer(const checked_writer&) = delete;
  checked_writer& operator=(const checked_writer&) = delete;

  std::string& buffer() { return buf_; }
  // Writes the buffer out once it is large.
  void maybe_flush() {
    if (buf_.size() >= kFlushAt) flush();
  }
  void close() {
    flush();
    FILE* f = f_;
    f_ = nullptr;
    bool ok = std::fflush(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) fail();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  void flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) fail();
    buf_.clear();
  }
  [[noreturn]] void fail() { throw run_error(name_ + " could not be written!"); }
  std::string name_;
  FILE* f_;
  std::string buf_;
};

// Names and their ids: open addressing over a power-of-two table of ids + 1
// (0: empty), the names' bytes one after the other in one string.
class name_numbering {
 public:
  name_numbering() : slots_(1 << 16, 0), hashes_(1 << 16, 0) {}

  std::uint32_t id_of(const char* name, std::size_t n) {
    const std::uint64_t h = hash(name, n);
    std::size_t mask = slots_.size() - 1;
    for (std::size_t s = static_cast<std::size_t>(h) & mask;; s = (s + 1) & mask) {
      const std::uint32_t slot = slots_[s];
      if (slot == 0) break;
      if (hashes_[s] == h && equals(slot - 1, name, n)) return slot - 1;
    }
    if (starts_.size() - 1 == 0xFFFFFFFFu) throw run_error("more than 2^32 distinct names");
    const std::uint32_t id = static_cast<std::uint32_t>(starts_.size() - 1);
    bytes_.append(name, n);
    starts_.push_back(bytes_.size());
    if ((std::size_t{id} + 1) * 2 > slots_.size()) grow();
    mask = slots_.size() - 1;
    std::size_t s = static_cast<std::size_t>(h) & mask;
    while (slots_[s] != 0) s = (s + 1) & mask;
    slots_[s] = id + 1;
    hashes_[s] = h;
    return id;
  }
  std::size_t size() const { return starts_.size() - 1; }
  std::string_view name(std::uint32_t id) const {
    return std::string_view(bytes_.data() + starts_[id], starts_[id + 1] - starts_[id]);
  }

 private:
  // Eight bytes at a time, each word folded in by a multiply.
  static std::uint64_t hash(const char* p, std::size_t n) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    for (; n >= 8; p += 8, n -= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      h = (h ^ w) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 32;
    }
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
  }
  bool equals(std::uint32_t id, const char* name, std::size_t n) const {
    return starts_[id + 1] - starts_[id] == n && std::memcmp(bytes_.data() + starts_[id], name, n) == 0;
  }
  void grow() {
    std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
    std::vector<std::uint64_t> hashes(slots.size(), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i] == 0) continue;
      std::size_t s = static_cast<std::size_t>(hashes_[i]) & mask;
      while (slots[s] != 0) s = (s + 1) & mask;
      slots[s] = slots_[i];
      hashes[s] = hashes_[i];
    }
    slots_.swap(slots);
    hashes_.swap(hashes);
  }
  std::vector<std::uint32_t> slots_;
  std::vector<std::uint64_t> hashes_;
  std::string bytes_;
  std::vector<std::size_t> starts_{0};  // name i is bytes_[starts_[i], starts_[i+1])
};

bool separates(unsigned char c) { return c == ' ' || c == '\t' || c == ','; }

// Converts the complete lines of [p, end) (each ended by "\n") to FIMI lines.
void convert_lines(const char* p, const char* end, name_numbering& names, std::string& out) {
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = nl != p && nl[-1] == '\r' ? nl - 1 : nl;
    bool first = true;
    while (p < stop) {
      if (separates(static_cast<unsigned char>(*p))) {
        ++p;
        continue;
      }
      const char* name = p;
      while (p < stop && !separates(static_cast<unsigned char>(*p))) ++p;
      char digits[24];
      std::size_t n = format_decimal(digits, names.id_of(name, static_cast<std::size_t>(p - name)), ' ');
      if (first) {
        out.append(digits, n - 1);
        first = false;
      } else {
        out.push_back(' ');
        out.append(digits, n - 1);
      }
    }
    out.push_back('\n');
    p = nl + 1;
  }
}

int convert(const std::string& in_name, const std::string& fimi_name, const std::string& map_name) {
  FILE* in = std::fopen(in_name.c_str(), "rb");
  if (in == nullptr) throw run_error(in_name + " could not be opened!");
  checked_writer fimi(fimi_name);
  name_numbering names;
  std::vector<char> block(1 << 22);
  std::size_t held = 0;  // bytes of an unfinished line at the start of block
  bool failed = false;
  for (;;) {
    if (held == block.size()) block.resize(block.size() * 2);  // a line longer than the block
    const std::size_t got = std::fread(block.data() + held, 1, block.size() - held, in);
    if (got == 0) {
      failed = std::ferror(in) != 0;
      break;
    }
    const std::size_t filled = held + got;
    const char* last_nl = static_cast<const char*>(memrchr(block.data(), '\n', filled));
    const std::size_t whole = last_nl == nullptr ? 0 : static_cast<std::size_t>(last_nl - block.data()) + 1;
    convert_lines(block.data(), block.data() + whole, names, fimi.buffer());
    fimi.maybe_flush();
    held = filled - whole;
    std::memmove(block.data(), block.data() + whole, held);
  }
  std::fclose(in);
  if (failed) throw run_error(in_name + " could not be read!");
  if (held > 0) {
    block.resize(held + 1);
    block[held] = '\n';
    convert_lines(block.data(), block.data() + held + 1, names, fimi.buffer());
  }
  fimi.close();
  checked_writer map(map_name);
  for (std::uint32_t id = 0; id < names.size(); ++id) {
    char digits[24];
    map.buffer().append(digits, format_decimal(digits, id, ' '));
    map.buffer().append(names.name(id));
    map.buffer().push_back('\n');
    map.maybe_flush();
  }
  map.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("Usage: names2fimi <basket-in> <fimi-out> <map-out>\n", stderr);
    return 1;
  }
  return exit_status_of<run_error>([&] { return convert(argv[1], argv[2], argv[3]); });
}
