// One line of the output itemset file under construction.
//
// Layout: the prefix items ("supseteq", input ids) as "%u " each, then the
// labels of the itemset's items ("%u " of their input ids) in ascending dense id
// order, then "(%u)\n" with the support. The prefix bytes are laid out once; the
// label of position p starts where the label of position p-1 ends, so a caller
// that changes only the last positions of the itemset rewrites only those labels.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "dataset/items.h"
#include "util/decimal.h"
#include "util/output_file.h"
#include "util/prefetch.h"

class output_line {
 public:
  output_line(const item_table& items, const std::vector<std::uint32_t>& prefix_items, int k)
      : items_(items), off_(k + 1, 0) {
    // Slack past the last label: write_last reads the head in whole chunks.
    buf_.resize(prefix_items.size() * 11 + static_cast<std::size_t>(k) * item_table::kLabelSlot +
                kSupportBytes + kChunk);
    std::size_t n = 0;
    for (std::uint32_t v : prefix_items) n += format_decimal(buf_.data() + n, v, ' ');
    off_[0] = n;
  }

  // Sets the item at position pos; positions below pos must already be set.
  void set_item(int pos, std::uint32_t dense_id) {
    const std::size_t len = items_.label_length(dense_id);
    std::memcpy(buf_.data() + off_[pos], items_.label(dense_id), len);
    off_[pos + 1] = off_[pos] + len;
  }

  // Fetches the label of dense_id ahead of set_item or write_last: the whole
  // slot (write_last copies all of it) and its length.
  KESTREL_PREFETCHER void prefetch_label(std::uint32_t dense_id) const {
    items_.prefetch_label(dense_id);
    __builtin_prefetch(items_.label(dense_id) + item_table::kLabelSlot - 1);
  }

  // Writes the line whose positions below k-1 are set and whose last item is
  // dense_id, laid out in f's buffer (f: an output_file or any sink with room()
  // and commit()): the bytes of set_item(k-1, dense_id) and write(f, support).
  template <class Sink>
  void write_last(Sink& f, std::uint32_t dense_id, std::uint64_t support) {
    const int last = static_cast<int>(off_.size()) - 2;
    const std::size_t head = off_[last];
    // The head is copied in whole 16-byte chunks and the label as its whole
    // slot: fixed-size copies, the bytes past the line overwritten later.
    const std::size_t room = head + kChunk + item_table::kLabelSlot + kSupportBytes;
    if (room > Sink::kLineRoom) {
      set_item(last, dense_id);
      write(f, support);
      return;
    }
    char* p = f.room(room);
    for (std::size_t i = 0; i < head; i += kChunk) std::memcpy(p + i, buf_.data() + i, kChunk);
    std::memcpy(p + head, items_.label(dense_id), item_table::kLabelSlot);
    std::size_t n = head + items_.label_length(dense_id);
    p[n] = '(';
    n += 1 + format_decimal(p + n + 1, support, ')');
    p[n++] = '\n';
    f.commit(n);
  }

  // Writes the line of the items set so far (all k positions) with the support
  // to f (an output_file, or any sink with write(bytes, n)).
  template <class Sink>
  void write(Sink& f, std::uint64_t support) {
    char* p = buf_.data() + off_.back();
    *p = '(';
    std::size_t n = 1 + format_decimal(p + 1, support, ')');
    p[n++] = '\n';
    f.write(buf_.data(), off_.back() + n);
  }

 private:
  static constexpr std::size_t kChunk = 16;
  static constexpr std::size_t kSupportBytes = 24;  // "(" and 20 digits, ")\n"
  const item_table& items_;
  std::vector<char> buf_;
  std::vector<std::size_t> off_;  // off_[p]: where the label of position p starts
};
