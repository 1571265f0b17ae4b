#include "vertical/tid_lists.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <string>
#include <utility>

#include "util/widths.h"

namespace {

// Items from which the list counters (8 bytes each) no longer fit the cache,
// so that build_lists sorts the occurrences bucket by bucket.
constexpr std::uint32_t kBucketedItems = 1u << 16;
// Consecutive items per bucket: their counters take 16 KB.
constexpr std::uint32_t kBucketShift = 12;
constexpr std::uint32_t kBucketItems = 1u << kBucketShift;

}  // namespace

template <class T>
void tid_lists<T>::allocate(std::uint32_t n_items, std::uint32_t expected_transactions,
                            std::uint64_t expected_occurrences) {
  n_items_ = n_items;
  n_transactions_ = 0;
  places_.clear();
  first_.assign(static_cast<std::size_t>(n_items) + 1, 0);
  // Room for the end marks too: a buffer one mark short of its fill doubles
  // while the scan fills it, which takes up to three times the copy at once.
  transaction_items_.clear();
  transaction_items_.reserve(static_cast<std::size_t>(expected_occurrences + expected_transactions));
  transaction_ends_.clear();
  transaction_ends_.reserve(expected_transactions);
  filled_ = false;
}

template <class T>
void tid_lists<T>::add_transaction(const T* items, std::uint32_t length, std::uint32_t tid) {
  // Positions come in order from the filling scan: the lists are sorted by
  // construction only then.
  if (filled_ || tid != n_transactions_) {
    throw std::out_of_range("vertical dataset: transaction position " + std::to_string(tid) +
                            " where " + std::to_string(n_transactions_) + " was next");
  }
  for (std::uint32_t i = 0; i < length; ++i) {
    assert(items[i] < n_items_);
    transaction_items_.push_back(static_cast<std::uint32_t>(items[i]));
  }
  transaction_ends_.push_back(static_cast<std::uint32_t>(transaction_items_.size()));
  transaction_items_.push_back(kTransactionEnd);
  ++n_transactions_;
}

template <class T>
void tid_lists<T>::finish_filling() {
  if (filled_) return;
  filled_ = true;
  // The projections need ascending items; the passes hand them over so,
  // which makes this one comparison per item.
  std::size_t at = 0;
  for (std::uint32_t t = 0; t < n_transactions_; ++t) {
    const std::size_t end = transaction_ends_[t];
    std::sort(transaction_items_.begin() + static_cast<std::ptrdiff_t>(at),
              transaction_items_.begin() + static_cast<std::ptrdiff_t>(end));
    at = end + 1;
  }
  build_lists();
}

template <class T>
void tid_lists<T>::build_lists() {
  const std::uint32_t* items = transaction_items_.data();
  const std::size_t n = transaction_items_.size();
  longest_ = 0;
  for (std::size_t t = 0, at = 0; t < transaction_ends_.size(); ++t) {
    longest_ = std::max(longest_, static_cast<std::uint32_t>(transaction_ends_[t] - at));
    at = transaction_ends_[t] + 1;
  }
  if (n_items_ >= kBucketedItems) {
    build_lists_by_buckets();
    return;
  }
  // The list starts from the counts, then the places in transaction order, so
  // every list ascends. Below kBucketedItems items the counters (8 bytes each)
  // stay in the cache, and one pass of each kind is all it takes.
  std::fill(first_.begin(), first_.end(), 0);
  for (std::size_t at = 0; at < n; ++at)
    if (items[at] != kTransactionEnd) ++first_[items[at] + 1];
  for (std::size_t i = 1; i < first_.size(); ++i) first_[i] += first_[i - 1];
  places_.resize(first_.back());
  std::vector<std::size_t> next(first_.begin(), first_.end() - 1);
  for (std::size_t at = 0; at < n; ++at) {
    const std::uint32_t item = items[at];
    if (item != kTransactionEnd) places_[next[item]++] = static_cast<std::uint32_t>(at);
  }
}

template <class T>
void tid_lists<T>::build_lists_by_buckets() {
  // With a million items the counters of a direct counting sort take 8 MB, and
  // both of its passes missed the cache on every occurrence even when fetched
  // ahead. Here the occurrences are first dealt, in transaction order, to
  // buckets of kBucketItems consecutive items (a few hundred write streams),
  // and each bucket is then sorted on its own, with counters and a stretch of
  // places_ that stay in the cache. Dealing keeps the order, so lists ascend.
  // (Dealing places alone and reading their items back from the copy saved
  // the 8 bytes per occurrence of the deck but none of the time.)
  const std::uint32_t* items = transaction_items_.data();
  const std::size_t n = transaction_items_.size();
  const std::size_t n_buckets =
      (static_cast<std::size_t>(n_items_) + kBucketItems - 1) >> kBucketShift;
  std::vector<std::size_t> bucket_start(n_buckets + 1, 0);
  for (std::size_t at = 0; at < n; ++at)
    if (items[at] != kTransactionEnd) ++bucket_start[(items[at] >> kBucketShift) + 1];
  for (std::size_t b = 1; b <= n_buckets; ++b) bucket_start[b] += bucket_start[b - 1];
  const std::size_t occurrences = bucket_start[n_buckets];
  // An occurrence dealt: its item's offset in the bucket and its place.
  struct dealt {
    std::uint32_t offset;
    std::uint32_t place;
  };
  std::vector<dealt> deck(occurrences);
  {
    std::vector<std::size_t> next(bucket_start.begin(), bucket_start.end() - 1);
    for (std::size_t at = 0; at < n; ++at) {
      const std::uint32_t item = items[at];
      if (item == kTransactionEnd) continue;
      deck[next[item >> kBucketShift]++] =
          dealt{item & (kBucketItems - 1), static_cast<std::uint32_t>(at)};
    }
  }
  places_.resize(occurrences);
  std::vector<std::uint32_t> count(kBucketItems);
  for (std::size_t b = 0; b < n_buckets; ++b) {
    const dealt* begin = deck.data() + bucket_start[b];
    const dealt* end = deck.data() + bucket_start[b + 1];
    std::fill(count.begin(), count.end(), 0);
    for (const dealt* d = begin; d != end; ++d) ++count[d->offset];
    // The bucket's items, the last one possibly short of kBucketItems.
    const std::size_t first_item = b << kBucketShift;
    const std::size_t n_here =
        std::min<std::size_t>(kBucketItems, static_cast<std::size_t>(n_items_) - first_item);
    std::uint32_t start = 0;  // within the bucket
    for (std::size_t i = 0; i < n_here; ++i) {
      first_[first_item + i] = bucket_start[b] + start;
      const std::uint32_t c = count[i];
      count[i] = start;  // where the item's next place goes
      start += c;
    }
    std::uint32_t* out = places_.data() + bucket_start[b];
    for (const dealt* d = begin; d != end; ++d) out[count[d->offset]++] = d->place;
  }
  first_[n_items_] = occurrences;
}

template <class T>
void tid_lists<T>::keep_items_in_transactions(const std::vector<std::uint8_t>& keep,
                                              std::uint32_t min_length) {
  // In place: the write position never passes the read position.
  std::size_t read = 0, write = 0;
  for (std::uint32_t t = 0; t < n_transactions_; ++t) {
    const std::size_t start = write;
    for (const std::size_t end = transaction_ends_[t]; read < end; ++read) {
      const std::uint32_t y = transaction_items_[read];
      if (y < keep.size() && keep[y] != 0) transaction_items_[write++] = y;
    }
    ++read;  // the end mark
    if (write - start < min_length) write = start;
    transaction_ends_[t] = static_cast<std::uint32_t>(write);
    transaction_items_[write++] = kTransactionEnd;
  }
  transaction_items_.resize(write);
  build_lists();
}

template <class T>
std::uint32_t tid_lists<T>::transaction_at(std::uint32_t place) const {
  return static_cast<std::uint32_t>(
      std::lower_bound(transaction_ends_.begin(), transaction_ends_.end(), place) -
      transaction_ends_.begin());
}

template <class T>
void tid_lists<T>::mark_transactions(std::uint32_t item, std::uint32_t* row) const {
  // Places ascend with the transactions: each one is searched from the last.
  auto t = transaction_ends_.begin();
  for (const std::uint32_t* at = places(item), *end = at + length(item); at < end; ++at) {
    t = std::lower_bound(t, transaction_ends_.end(), *at);
    const auto position = static_cast<std::uint32_t>(t - transaction_ends_.begin());
    row[position >> 5] |= 1u << (position & 31);
  }
}

void tid_projection::clear() {
  for (std::uint32_t i = 0; i < n_listed; ++i) list[items[i]] = tid_list_slot{0, 0};
  n_listed = 0;
  restricted = false;
}

namespace {

// Tails a walk over a projection's places asks the memory for ahead of the one
// it reads: they lie anywhere in the rows.
constexpr std::size_t kPrefetchAhead = 8;

// Where the lists of an item left out of a projection's copy (too few
// occurrences) start: its places all go to this one, the first, which no
// kept item's list holds.
constexpr std::uint32_t kLeftOut = 0;

// Counters before row a of the pair triangle of a group of m (row a holds the
// pairs (a, b) for a < b < m).
inline std::size_t rows_before(std::size_t a, std::size_t m) { return a * (m - 1) - a * (a - 1) / 2; }

// Gives each of the n_listed items listed whose occurrences (its list's
// length) reach min_count its room, from place 1 on; an item left out gets
// the start kLeftOut. Every length starts again from 0 for the copy. Returns
// the end of the rooms.
[[gnu::always_inline]] inline std::uint32_t give_lists_room(tid_list_slot* list,
                                                            const std::uint32_t* listed,
                                                            std::uint32_t n_listed,
                                                            std::uint32_t min_count) {
  std::uint32_t at = kLeftOut + 1;
  for (std::uint32_t i = 0; i < n_listed; ++i) {
    tid_list_slot& slot = list[listed[i]];
    const std::uint32_t count = slot.length;
    slot.length = 0;
    if (count >= min_count && count > 0) {
      slot.at = at;
      at += count;
    } else {
      slot.at = kLeftOut;
    }
  }
  return at;
}

// Copies the tails after the places q[0..nq) of rows into out.rows with the
// items that have room only (rooms ending at `at`), each item's place in the
// copy going to its list; a tail left shorter than min_tail goes, and its
// places with it.
[[gnu::always_inline]] inline void copy_kept_tails(const std::uint32_t* rows,
                                                   const std::uint32_t* q, std::size_t nq,
                                                   std::uint32_t min_tail, std::uint32_t at,
                                                   tid_projection& out) {
  tid_list_slot* list = out.list.data();
  if (out.places.size() < at) out.places.resize(std::max<std::size_t>(at, 2 * out.places.size()));
  std::uint32_t* places = out.places.data();
  std::vector<std::uint32_t>& copy = out.rows;
  // Every kept occurrence and an end mark per tail at most.
  if (copy.size() < at + nq) copy.resize(std::max(at + nq, 2 * copy.size()));
  std::uint32_t* c = copy.data();
  std::uint32_t n = 0;
  for (std::size_t i = 0; i < nq; ++i) {
    const std::uint32_t start = n;
    // Every item is written to the copy and its list; one left out goes to
    // place kLeftOut and is overwritten in the copy by the next (n stays).
    for (const std::uint32_t* y = rows + q[i] + 1; *y != kTransactionEnd; ++y) {
      tid_list_slot& slot = list[*y];
      const std::uint32_t kept = slot.at != kLeftOut ? 1 : 0;
      places[slot.at + slot.length] = n;
      slot.length += kept;
      c[n] = *y;
      n += kept;
    }
    if (n - start < min_tail) {
      for (std::uint32_t j = start; j < n; ++j) --list[c[j]].length;
      n = start;
    } else {
      c[n++] = kTransactionEnd;
    }
  }
}

}  // namespace

template <class T>
void tid_lists<T>::start_iteration(int k, tid_scratch& s) const {
  s.projected.clear();
  s.position.assign(n_items_, kNoPosition);
  s.group_items.clear();
  s.k = k;
  s.depth.resize(static_cast<std::size_t>(std::max(k - 2, 0)));
  for (tid_projection& d : s.depth) {
    d.list.assign(n_items_, tid_list_slot{0, 0});
    d.n_listed = 0;
  }
}

template <class T>
void tid_lists<T>::project_depth(std::size_t d, std::uint32_t item, std::uint32_t min_count,
                                 tid_scratch& s) const {
  const std::uint32_t* rows = d == 0 ? transaction_items_.data() : s.depth[d - 1].rows.data();
  const std::uint32_t* q = d == 0 ? places(item) : s.depth[d - 1].list_of(item);
  const std::size_t nq = d == 0 ? length(item) : s.depth[d - 1].length_of(item);
  // A candidate of the level that starts with the d+1 items projected holds
  // k-d-1 more, all after them.
  const std::uint32_t min_tail = static_cast<std::uint32_t>(s.k - static_cast<int>(d) - 1);
  // Below min_count no extension is frequent: the projection stays empty.
  if (nq >= min_count) {
    project(rows, q, nq, min_count, min_tail, s.depth[d]);
  } else {
    s.depth[d].clear();
  }
}

template <class T>
void tid_lists<T>::project(const std::uint32_t* rows, const std::uint32_t* q, std::size_t nq,
                           std::uint32_t min_count, std::uint32_t min_tail,
                           tid_projection& out) const {
  // The occurrences of every item in the tails (the items after each place of
  // Q's last item) give each list its room; then the tails again, copied with
  // the items of enough occurrences only (the others make no frequent itemset
  // with Q, and a candidate of the level holding Q holds only items of the
  // copy), each item's place in the copy going to its list in Q's order, so
  // each list ascends. A tail left too short for such a candidate goes, and
  // its places with it.
  tid_list_slot* list = out.list.data();
  std::vector<std::uint32_t>& listed = out.items;
  std::uint32_t n_listed = 0;
  if (out.restricted) {
    // Only the wanted items, listed already (their start marks them), count;
    // the restriction holds for this projection alone.
    out.restricted = false;
    n_listed = out.n_listed;
    for (std::size_t i = 0; i < nq; ++i) {
      if (i + kPrefetchAhead < nq) __builtin_prefetch(rows + q[i + kPrefetchAhead] + 1);
      for (const std::uint32_t* y = rows + q[i] + 1; *y != kTransactionEnd; ++y) {
        tid_list_slot& slot = list[*y];
        slot.length += slot.at != kLeftOut ? 1 : 0;
      }
    }
  } else {
    out.clear();
    // The occurrences are counted in the lengths, all 0 after clear(); an item
    // is listed at its first touch, without a branch: it is written past the
    // listed ones every time and counted in only when its length was 0.
    // The listed items are distinct, and no more than the tails' items: with the
    // write past them, the array needs one slot more, sized once here.
    const std::size_t most_listed = std::min<std::size_t>(n_items_, nq * longest_) + 1;
    if (listed.size() < most_listed) listed.resize(most_listed);
    std::uint32_t* to = listed.data();
    for (std::size_t i = 0; i < nq; ++i) {
      if (i + kPrefetchAhead < nq) __builtin_prefetch(rows + q[i + kPrefetchAhead] + 1);
      for (const std::uint32_t* y = rows + q[i] + 1; *y != kTransactionEnd; ++y) {
        tid_list_slot& slot = list[*y];
        to[n_listed] = *y;
        n_listed += slot.length == 0 ? 1 : 0;
        ++slot.length;
      }
    }
    out.n_listed = n_listed;
  }
  const std::uint32_t room = give_lists_room(list, listed.data(), n_listed, min_count);
  copy_kept_tails(rows, q, nq, min_tail, room, out);
}

template <class T>
void tid_lists<T>::start_group(const T* prefix, int pk, const T* last, std::uint32_t m,
                               std::uint32_t min_count, tid_scratch& s) const {
  assert(pk >= 1 && static_cast<std::size_t>(pk) <= s.depth.size());
  // depth[d] projects prefix[0..d]; only P's leading parts are needed, since
  // the walk below takes P's transactions whole.
  const std::size_t need = static_cast<std::size_t>(pk - 1);
  const std::size_t share = kept_projections(prefix, pk, s);
  s.projected.resize(share);
  for (std::size_t d = share; d < need; ++d) {
    project_depth(d, prefix[d], min_count, s);
    s.projected.push_back(prefix[d]);
  }
  const std::uint32_t p_last = prefix[pk - 1];
  s.group_rows = need == 0 ? transaction_items_.data() : s.depth[need - 1].rows.data();
  s.group_places = need == 0 ? places(p_last) : s.depth[need - 1].list_of(p_last);
  s.group_n_places = need == 0 ? length(p_last) : s.depth[need - 1].length_of(p_last);
  // No pair of P's last items can reach min_count: every count stays 0.
  if (s.group_n_places < min_count) s.group_n_places = 0;
  s.group_size = m;
  for (std::uint32_t y : s.group_items) s.position[y] = kNoPosition;
  s.group_items.assign(last, last + m);
  for (std::uint32_t i = 0; i < m; ++i) {
    assert(last[i] > p_last && (i == 0 || last[i - 1] < last[i]));
    s.position[last[i]] = i;
  }
  s.block_first = s.block_end = 0;
}

template <class T>
void tid_lists<T>::count_block(std::uint32_t first, tid_scratch& s) const {
  const std::size_t m = s.group_size;
  const std::size_t base = rows_before(first, m);
  // At least one row, then as many as fit.
  std::uint32_t end = first + 1;
  while (end + 1 < m && rows_before(end + 1, m) - base <= s.block_counters) ++end;
  s.block_first = first;
  s.block_end = end;
  const std::size_t n_counts = rows_before(end, m) - base;
  if (s.pair_counts.size() < n_counts) s.pair_counts.resize(n_counts);
  std::uint32_t* counts = s.pair_counts.data();
  std::fill(counts, counts + n_counts, 0u);
  const std::uint32_t* items = s.group_rows;
  const std::uint32_t* position = s.position.data();
  // A tail holds at most longest_ items; one more slot takes the write past
  // the last member.
  if (s.members.size() < std::size_t{longest_} + 1) s.members.resize(std::size_t{longest_} + 1);
  std::uint32_t* members = s.members.data();
  for (std::size_t i = 0; i < s.group_n_places; ++i) {
    // The group's last items lie after P's last item: the transaction's tail.
    // Whether an item is in the group follows no pattern: each position is
    // written past the members and counted in only when it is one.
    std::size_t n = 0;
    for (const std::uint32_t* y = items + s.group_places[i] + 1; *y != kTransactionEnd; ++y) {
      const std::uint32_t at = position[*y];
      members[n] = at;
      n += at != kNoPosition ? 1 : 0;
    }
    // Positions ascend with the items; rows outside the block are skipped.
    for (std::size_t a = 0; a + 1 < n && members[a] < end; ++a) {
      const std::uint32_t row = members[a];
      if (row < first) continue;
      // Pair (row, b) sits at rows_before(row) - base + b - row - 1.
      std::uint32_t* c = counts + (rows_before(row, m) - base) - row - 1;
      for (std::size_t b = a + 1; b < n; ++b) ++c[members[b]];
    }
  }
}

template <class T>
const std::uint32_t* tid_lists<T>::pair_row(std::uint32_t a, tid_scratch& s) const {
  assert(a + 1 < s.group_size && a >= s.block_first);
  if (a >= s.block_end) count_block(a, s);
  const std::size_t m = s.group_size;
  return s.pair_counts.data() + (rows_before(a, m) - rows_before(s.block_first, m));
}

template <class T>
std::uint32_t tid_lists<T>::pair_count(std::uint32_t x, std::uint32_t y, tid_scratch& s) const {
  assert(s.position[x] != kNoPosition && s.position[y] != kNoPosition);
  const std::uint32_t a = s.position[x], b = s.position[y];
  assert(a < b);
  return pair_row(a, s)[b - a - 1];
}

#define KESTREL_INSTANTIATE(T) template class tid_lists<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
