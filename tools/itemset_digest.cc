// itemset_digest: a fingerprint of the itemsets a KESTREL output file holds, the
// same whatever order its lines are in and whatever order each line lists its
// items in. Two files hold the same itemsets with the same supports exactly when
// their fingerprints agree (up to a 2^-128 chance), without sorting either file:
// the benchmark compares outputs of tens of millions of lines this way.
//
// Usage: itemset_digest <file>...
//
// Prints one line per file: "<lines> <32 hex digits> <file>". A line is its words
// split at blanks: the last (the support) and the set of the others (the items).
// A line's 64-bit hash sums its items' hashes; the file's fingerprint is the sums
// over its lines (mod 2^64) of that hash and of a second mix of it.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tool_main.h"

namespace {

struct digest_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A 64-bit mixer (the finaliser of splitmix64).
std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// Hash of one word: eight bytes at a time, its length mixed in with its last
// bytes, so that neither a byte nor the word's end can move unnoticed.
std::uint64_t hash_word(std::string_view w) {
  std::uint64_t h = 0x6b657374726c3031ULL;
  std::size_t i = 0;
  for (; i + 8 <= w.size(); i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, w.data() + i, 8);
    h = mix(h ^ chunk) + 0x9e3779b97f4a7c15ULL;
  }
  std::uint64_t last = 0;
  std::memcpy(&last, w.data() + i, w.size() - i);
  return mix(h ^ last ^ std::uint64_t{w.size()} << 58);
}

struct fingerprint {
  std::uint64_t lines = 0, low = 0, high = 0;
};

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Adds one line (without its newline) to the fingerprint. The items' hashes are
// summed, which no order of them changes; the last word (the support) is mixed
// in apart from them.
void add_line(std::string_view line, fingerprint& f) {
  std::uint64_t items = 0, last = 0;
  bool any = false;
  for (std::size_t i = 0; i < line.size();) {
    if (blank(line[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < line.size() && !blank(line[i])) ++i;
    if (any) items += mix(last + 0x9e3779b97f4a7c15ULL);
    last = hash_word(line.substr(start, i - start));
    any = true;
  }
  const std::uint64_t h = mix(items ^ mix(last ^ 0x5375707030727431ULL));
  f.lines += 1;
  f.low += h;
  f.high += mix(h ^ 0x6469676573743032ULL);
}

fingerprint digest_of(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (!in) throw digest_error(std::string("itemset_digest: cannot open ") + path);
  fingerprint f;
  std::string pending;  // a line split across two reads
  std::vector<char> buffer(1 << 20);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    std::string_view chunk(buffer.data(), got);
    for (std::size_t nl; (nl = chunk.find('\n')) != std::string_view::npos; chunk.remove_prefix(nl + 1)) {
      if (pending.empty()) {
        add_line(chunk.substr(0, nl), f);
      } else {
        pending.append(chunk.substr(0, nl));
        add_line(pending, f);
        pending.clear();
      }
    }
    pending.append(chunk);
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) throw digest_error(std::string("itemset_digest: cannot read ") + path);
  if (!pending.empty()) add_line(pending, f);  // a last line without newline
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  return exit_status_of<digest_error>([&] {
    if (argc < 2) throw digest_error("usage: itemset_digest <file>...");
    for (int i = 1; i < argc; ++i) {
      const fingerprint f = digest_of(argv[i]);
      std::printf("%" PRIu64 " %016" PRIx64 "%016" PRIx64 " %s\n", f.lines, f.high, f.low, argv[i]);
    }
    return 0;
  });
}
