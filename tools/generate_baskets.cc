// generate_baskets: synthetic market-basket transactions in FIMI text, by the
// published IBM Quest procedure (Agrawal & Srikant, VLDB 1994, section 2.4.3).
//
//   generate_baskets [T t] [I i] [D d] [N n] [L l] [seed s] [output FILE]
//
// T average transaction length, I average length of the potentially frequent
// patterns, D transactions, N items (ids 0..N-1), L patterns, seed of the
// random stream; no output (or "-") writes to standard output.
//
// 1. A pool of L patterns. Each has a size drawn from Poisson(I) (at least 1, at
//    most N). The first pattern's items are uniform; each later one takes a
//    fraction of its items from the previous pattern, the fraction exponential
//    with mean 0.5 (at most 1), and the rest uniformly. Each pattern gets a
//    weight, exponential with mean 1, normalised to sum 1, and a corruption
//    level, normal with mean 0.5 and variance 0.1, clipped to [0, 1].
// 2. Each transaction has a target size drawn from Poisson(T) (at least 1, at
//    most N) and is filled with patterns drawn by weight. A drawn pattern loses
//    random items while a uniform number stays below its corruption level.
//    When what is left does not fit within the target size, it goes in anyway
//    half of the time (and the transaction ends), and otherwise it starts the
//    next transaction. An item drawn twice appears once.
// The output depends only on the parameters and the seed: the random stream is
// xoshiro256** seeded through splitmix64, and no platform library draws numbers.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/tool_main.h"
#include "util/error.h"

namespace {

// xoshiro256** (Blackman & Vigna), seeded with four outputs of splitmix64.
class random_stream {
 public:
  explicit random_stream(std::uint64_t seed) {
    for (std::uint64_t& word : s_) {
      seed += 0x9e3779b97f4a7c15ULL;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      word = z ^ (z >> 31);
    }
  }
  std::uint64_t next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
  // Uniform in [0, n), n >= 1, unbiased (Lemire's multiply and reject).
  std::uint32_t below(std::uint32_t n) {
    std::uint64_t m = static_cast<std::uint64_t>(static_cast<std::uint32_t>(next() >> 32)) * n;
    if (static_cast<std::uint32_t>(m) < n) {
      const std::uint32_t threshold = static_cast<std::uint32_t>(-n) % n;
      while (static_cast<std::uint32_t>(m) < threshold)
        m = static_cast<std::uint64_t>(static_cast<std::uint32_t>(next() >> 32)) * n;
    }
    return static_cast<std::uint32_t>(m >> 32);
  }
  double exponential(double mean) { return -mean * std::log1p(-uniform()); }
  double normal(double mean, double deviation) {  // Box-Muller, one value per call
    const double u = 1.0 - uniform();             // (0, 1]: the log stays finite
    return mean +
           deviation * std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * uniform());
  }
  bool coin() { return (next() >> 63) != 0; }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t s_[4];
};

// Poisson(mean) by inversion of a table of the distribution function, which
// stops where the remaining tail is below 1e-15: one draw and a binary search.
class poisson_table {
 public:
  explicit poisson_table(double mean) {
    double total = 0;
    for (std::size_t k = 0;; ++k) {
      const double p = std::exp(-mean + k * std::log(mean) - std::lgamma(k + 1.0));
      total += p;
      cdf_.push_back(total);
      if (k > mean && 1.0 - total < 1e-15) break;
      if (k > mean + 40 * std::sqrt(mean) + 100) break;  // rounding kept total below 1
    }
  }
  std::size_t draw(random_stream& r) const {
    const double u = r.uniform() * cdf_.back();
    return std::upper_bound(cdf_.begin(), cdf_.end(), u) - cdf_.begin();
  }

 private:
  std::vector<double> cdf_;
};

// Draws pattern indexes by weight in constant time (Walker's alias method,
// built with Vose's two work lists).
class alias_table {
 public:
  explicit alias_table(const std::vector<double>& weights) {
    const std::size_t n = weights.size();
    double sum = 0;
    for (double w : weights) sum += w;
    keep_.resize(n);
    alias_.resize(n);
    std::vector<double> scaled(n);
    std::vector<std::uint32_t> small, large;
    for (std::size_t i = 0; i < n; ++i) {
      scaled[i] = weights[i] * n / sum;
      (scaled[i] < 1.0 ? small : large).push_back(static_cast<std::uint32_t>(i));
    }
    while (!small.empty() && !large.empty()) {
      const std::uint32_t s = small.back(), l = large.back();
      small.pop_back();
      keep_[s] = scaled[s];
      alias_[s] = l;
      scaled[l] -= 1.0 - scaled[s];
      if (scaled[l] < 1.0) {
        large.pop_back();
        small.push_back(l);
      }
    }
    for (std::uint32_t i : small) keep_[i] = 1.0, alias_[i] = i;  // only rounding left these
    for (std::uint32_t i : large) keep_[i] = 1.0, alias_[i] = i;
  }
  std::uint32_t draw(random_stream& r) const {
    const std::uint32_t i = r.below(static_cast<std::uint32_t>(keep_.size()));
    return r.uniform() < keep_[i] ? i : alias_[i];
  }

 private:
  std::vector<double> keep_;
  std::vector<std::uint32_t> alias_;
};

// A buffered writer of FIMI lines to a file or standard output; every failure
// of fwrite, fflush or fclose becomes a run_error.
class fimi_text_writer {
 public:
  explicit fimi_text_writer(const std::string& name) : to_stdout_(name.empty() || name == "-") {
    label_ = to_stdout_ ? "standard output" : name;
    f_ = to_stdout_ ? stdout : std::fopen(name.c_str(), "wb");
    if (f_ == nullptr) throw run_error(name + " could not be opened for writing!");
  }
  ~fimi_text_writer() {
    if (f_ != nullptr && !to_stdout_) std::fclose(f_);
  }
  fimi_text_writer(const fimi_text_writer&) = delete;
  fimi_text_writer& operator=(const fimi_text_writer&) = delete;

  // Writes the items, ascending, blank separated, and a newline.
  void write_line(const std::vector<std::uint32_t>& items) {
    if (used_ + items.size() * 11 + 1 > sizeof buf_) flush_buffer();
    if (items.size() * 11 + 1 > sizeof buf_) {  // a line longer than the buffer: item by item
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (used_ + 11 > sizeof buf_) flush_buffer();
        put_item(items[i], i + 1 == items.size() ? '\n' : ' ');
      }
      if (items.empty()) buf_[used_++] = '\n';
      return;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
      put_item(items[i], i + 1 == items.size() ? '\n' : ' ');
    if (items.empty()) buf_[used_++] = '\n';
  }
  void close() {
    flush_buffer();
    const bool failed = to_stdout_ ? std::fflush(f_) != 0 : std::fclose(f_) != 0;
    f_ = nullptr;
    if (failed) fail();
  }

 private:
  void put_item(std::uint32_t v, char after) {
    char digits[10];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    while (n > 0) buf_[used_++] = digits[--n];
    buf_[used_++] = after;
  }
  void flush_buffer() {
    if (used_ != 0 && std::fwrite(buf_, 1, used_, f_) != used_) fail();
    used_ = 0;
  }
  [[noreturn]] void fail() { throw run_error(label_ + " could not be written!"); }

  bool to_stdout_;
  std::string label_;
  FILE* f_ = nullptr;
  std::size_t used_ = 0;
  char buf_[1 << 20];
};

struct parameters {
  double T = 10, I = 4;
  std::uint64_t D = 100000;
  std::uint32_t N = 1000, L = 2000;
  std::uint64_t seed = 1;
  std::string output;
};

struct pattern {
  std::size_t begin, size;  // items pattern_items[begin, begin + size)
  double corruption;
};

std::size_t clamp_size(const parameters& p, std::size_t k) {
  return std::min<std::size_t>(std::max<std::size_t>(k, 1), p.N);
}

// mark[item] == stamp flags an item already in the pattern or transaction being
// built, so neither needs clearing.
struct item_marks {
  std::vector<std::uint32_t> mark;
  std::uint32_t stamp = 0;
};

// The pool of L patterns with their weights; every pattern shares a part of the
// one before it.
struct pattern_pool {
  std::vector<std::uint32_t> pattern_items;
  std::vector<pattern> pool;
  std::vector<double> weights;
};

pattern_pool draw_pool(const parameters& p, random_stream& r, item_marks& m) {
  const poisson_table pattern_size(p.I);
  pattern_pool result;
  std::vector<std::uint32_t>& pattern_items = result.pattern_items;
  std::vector<std::uint32_t>& mark = m.mark;
  std::uint32_t& stamp = m.stamp;
  std::vector<std::uint32_t> previous;
  for (std::uint32_t i = 0; i < p.L; ++i) {
    const std::size_t size = clamp_size(p, pattern_size.draw(r));
    const std::size_t begin = pattern_items.size();
    ++stamp;
    const double fraction = std::min(1.0, r.exponential(0.5));
    std::size_t shared = std::min<std::size_t>(std::llround(fraction * size), previous.size());
    // A partial Fisher-Yates shuffle of the previous pattern picks the shared items.
    for (std::size_t j = 0; j < shared; ++j) {
      std::swap(previous[j],
                previous[j + r.below(static_cast<std::uint32_t>(previous.size() - j))]);
      mark[previous[j]] = stamp;
      pattern_items.push_back(previous[j]);
    }
    while (pattern_items.size() - begin < size) {
      const std::uint32_t item = r.below(p.N);
      if (mark[item] == stamp) continue;
      mark[item] = stamp;
      pattern_items.push_back(item);
    }
    previous.assign(pattern_items.begin() + begin, pattern_items.end());
    const double corruption = std::clamp(r.normal(0.5, std::sqrt(0.1)), 0.0, 1.0);
    result.pool.push_back({begin, size, corruption});
    result.weights.push_back(r.exponential(1.0));
  }
  return result;
}

void generate(const parameters& p, fimi_text_writer& out) {
  random_stream r(p.seed);
  item_marks marks{std::vector<std::uint32_t>(p.N, 0), 0};
  std::vector<std::uint32_t>& mark = marks.mark;
  std::uint32_t& stamp = marks.stamp;
  const pattern_pool patterns = draw_pool(p, r, marks);
  const std::vector<std::uint32_t>& pattern_items = patterns.pattern_items;
  const std::vector<pattern>& pool = patterns.pool;
  const poisson_table transaction_size(p.T);
  const alias_table by_weight(patterns.weights);

  std::vector<std::uint32_t> transaction, drawn, carried;
  const auto add = [&](const std::vector<std::uint32_t>& items) {
    for (std::uint32_t item : items) {
      if (mark[item] == stamp) continue;
      mark[item] = stamp;
      transaction.push_back(item);
    }
  };
  for (std::uint64_t t = 0; t < p.D; ++t) {
    if (++stamp == 0) {  // the stamp wrapped: old marks could match again
      std::fill(mark.begin(), mark.end(), 0);
      stamp = 1;
    }
    transaction.clear();
    const std::size_t target = clamp_size(p, transaction_size.draw(r));
    add(carried);
    carried.clear();
    // Patterns corrupted down to nothing add nothing; the draw limit ends the
    // transaction even if every pattern's corruption level is near 1.
    for (std::size_t draws = 0; transaction.size() < target && draws < 64 + 4 * target; ++draws) {
      const pattern& chosen = pool[by_weight.draw(r)];
      drawn.assign(pattern_items.begin() + chosen.begin,
                   pattern_items.begin() + chosen.begin + chosen.size);
      while (!drawn.empty() && r.uniform() < chosen.corruption) {
        std::swap(drawn[r.below(static_cast<std::uint32_t>(drawn.size()))], drawn.back());
        drawn.pop_back();
      }
      if (drawn.empty()) continue;
      if (transaction.size() + drawn.size() <= target) {
        add(drawn);
        continue;
      }
      if (transaction.empty() || r.coin()) {
        add(drawn);
      } else {
        carried.swap(drawn);
      }
      break;
    }
    if (transaction.empty()) transaction.push_back(r.below(p.N));  // never an empty line
    std::sort(transaction.begin(), transaction.end());
    out.write_line(transaction);
  }
}

// Parses a decimal number for keyword, within [low, high] and whole unless V is
// floating (an exponent is allowed: D 2e7); a run_error names the keyword otherwise.
template <class V>
V parse_number(const std::string& keyword, const std::string& text, double low, double high) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  const bool integral = !std::is_floating_point<V>::value;
  if (text.empty() || *end != '\0' || errno != 0 || !(value >= low && value <= high) ||
      (integral && value != std::floor(value)) || text.find_first_of("xXpP") != std::string::npos)
    throw run_error(
        keyword + " must be a number from " + std::to_string(static_cast<long long>(low)) + " to " +
        std::to_string(static_cast<unsigned long long>(high)) + ", not \"" + text + "\"");
  return static_cast<V>(value);  // integers up to 2^53 are exact in a double
}

const char* USAGE =
    "Usage: generate_baskets [T avg-transaction-length] [I avg-pattern-length]\n"
    "                        [D transactions] [N items] [L patterns] [seed s] [output FILE]\n"
    "Defaults: T 10 I 4 D 100000 N 1000 L 2000 seed 1, output to standard output.\n";

int run(int argc, char** argv) {
  parameters p;
  if (argc % 2 == 0) {
    std::fputs(USAGE, stderr);
    return 1;
  }
  for (int a = 1; a + 1 < argc; a += 2) {
    const std::string key = argv[a], value = argv[a + 1];
    if (key == "T")
      p.T = parse_number<double>(key, value, 1, 100000);
    else if (key == "I")
      p.I = parse_number<double>(key, value, 1, 100000);
    else if (key == "D")
      p.D = parse_number<std::uint64_t>(key, value, 0, 1e15);
    else if (key == "N")
      p.N = parse_number<std::uint32_t>(key, value, 1, 4294967295.0);
    else if (key == "L")
      p.L = parse_number<std::uint32_t>(key, value, 1, 100000000);
    else if (key == "seed")
      p.seed = parse_number<std::uint64_t>(key, value, 0, 1e15);
    else if (key == "output")
      p.output = value;
    else {
      std::fputs(USAGE, stderr);
      return 1;
    }
  }
  fimi_text_writer out(p.output);
  generate(p, out);
  out.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return exit_status_of<run_error>([&] { return run(argc, argv); });
}
