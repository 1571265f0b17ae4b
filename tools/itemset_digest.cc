// itemset_digest: a fingerprint of the itemsets a KESTREL output file holds, the
// same whatever order its lines are in and whatever order each line lists its
// items in. Two files hold the same itemsets with the same supports exactly when
// their fingerprints agree (up to a 2^-128 chance), without sorting either file:
// the benchmark compares outputs of tens of millions of lines this way.
//
// Usage: itemset_digest <file>...
//
// Prints one line per file: "<lines> <32 hex digits> <file>". A line is its words
// split at blanks; the last word (the support) stays last, the others are sorted
// as byte strings, and the sum over the lines (mod 2^64, twice with different
// keys) of a hash of that sequence is the fingerprint.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
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

// Hash of a sequence of words under key: every byte and every word end moves it.
std::uint64_t hash_words(const std::vector<std::string_view>& words, std::uint64_t key) {
  std::uint64_t h = mix(key);
  for (const std::string_view w : words) {
    for (const char c : w) h = mix(h ^ static_cast<unsigned char>(c)) + key;
    h = mix(h ^ 0x100) + key;  // a word end, unlike any byte
  }
  return h;
}

struct fingerprint {
  std::uint64_t lines = 0, low = 0, high = 0;
};

// Adds one line (without its newline) to the fingerprint.
void add_line(std::string_view line, std::vector<std::string_view>& words, fingerprint& f) {
  words.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  if (!words.empty()) std::sort(words.begin(), words.end() - 1);
  f.lines += 1;
  f.low += hash_words(words, 0x6b657374726c3031ULL);
  f.high += hash_words(words, 0x6469676573743032ULL);
}

fingerprint digest_of(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (!in) throw digest_error(std::string("itemset_digest: cannot open ") + path);
  fingerprint f;
  std::vector<std::string_view> words;
  std::string pending;  // a line split across two reads
  std::vector<char> buffer(1 << 20);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    std::string_view chunk(buffer.data(), got);
    for (std::size_t nl; (nl = chunk.find('\n')) != std::string_view::npos; chunk.remove_prefix(nl + 1)) {
      if (pending.empty()) {
        add_line(chunk.substr(0, nl), words, f);
      } else {
        pending.append(chunk.substr(0, nl));
        add_line(pending, words, f);
        pending.clear();
      }
    }
    pending.append(chunk);
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) throw digest_error(std::string("itemset_digest: cannot read ") + path);
  if (!pending.empty()) add_line(pending, words, f);  // a last line without newline
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
