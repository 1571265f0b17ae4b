// Fuzz target: the transaction-file reader on arbitrary bytes.
//
// Besides "no crash, no sanitizer report, errors only as run_error", every
// input is checked against a direct reading of the format rules: the same
// lines, the same items in line order, and an error exactly where the rules
// put the first one (same line number). A mismatch aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset/fimi_reader.h"
#include "fuzz/fuzz_file.h"
#include "util/error.h"

namespace {

bool digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// The rules, read off the bytes in memory: lines, or the 1-based line of the
// first error (0 when none).
std::uint64_t expected_lines(const std::uint8_t* d, std::size_t n,
                             std::vector<std::vector<std::uint32_t>>& lines) {
  std::size_t i = 0;
  std::uint64_t line = 0;
  while (i < n) {
    ++line;
    std::vector<std::uint32_t> items;
    std::size_t start = i;
    while (i < n && d[i] != '\n') {
      if (!digit(d[i])) {
        ++i;
        continue;
      }
      if (i > start && d[i - 1] == '-') return line;
      if (i > start + 1 && d[i - 1] == '.' && digit(d[i - 2])) return line;
      std::uint64_t v = 0;
      for (; i < n && digit(d[i]); ++i) {
        v = v * 10 + (d[i] - '0');
        if (v > 0xFFFFFFFFull) return line;
      }
      items.push_back(static_cast<std::uint32_t>(v));
    }
    if (i < n) ++i;  // the newline
    lines.push_back(items);
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte sets the read size, 1 to 16 bytes or a whole page, so that
  // numbers, signs and line ends straddle block boundaries; the rest is the file.
  if (size == 0) return 0;
  const std::size_t block = data[0] % 17 == 0 ? 4096 : data[0] % 17;
  ++data;
  --size;
  std::vector<std::vector<std::uint32_t>> expected;
  const std::uint64_t error_line = expected_lines(data, size, expected);

  memory_file file(data, size);
  std::vector<std::vector<std::uint32_t>> got;
  std::uint64_t got_error_line = 0;
  try {
    fimi_reader reader(file.name(), "cannot open", block);
    std::vector<std::uint32_t> items;
    while (reader.next_line(items)) got.push_back(items);
  } catch (const run_error& e) {
    const std::string what = e.what();
    const std::string head = file.name() + ":";
    if (what.compare(0, head.size(), head) != 0) std::abort();
    got_error_line = std::strtoull(what.c_str() + head.size(), nullptr, 10);
    if (got_error_line == 0) std::abort();
  }
  if (got_error_line != error_line) std::abort();
  if (error_line == 0 && got != expected) std::abort();
  return 0;
}
