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
  static constexpr std::size_t kChunk = 16;         // the head is copied in chunks
  static constexpr std::size_t kSupportBytes = 24;  // "(" and 20 digits, ")\n"
  static constexpr std::size_t kTextBytes = 8;      // a tabled support's text

 public:
  // most_support: the largest support the lines will carry, when the caller
  // knows it and writes many lines (0 otherwise); up to kMostTabledSupport the
  // supports' text comes from a table laid out here.
  output_line(const item_table& items, const std::vector<std::uint32_t>& prefix_items, int k,
              std::uint64_t most_support = 0)
      : items_(items),
        off_(k + 1, 0),
        fetch_ahead_(items.label_bytes() > kLabelsInCache) {
    // Slack past the last label: labels are copied as whole slots and write_last
    // reads the head in whole chunks.
    buf_.resize(prefix_items.size() * 11 + static_cast<std::size_t>(k) * item_table::kLabelSlot +
                kSupportBytes + kChunk);
    std::size_t n = 0;
    for (std::uint32_t v : prefix_items) n += format_decimal(buf_.data() + n, v, ' ');
    off_[0] = n;
    if (most_support > 0 && most_support <= kMostTabledSupport) {
      support_text_.resize((most_support + 1) * kTextBytes);
      support_length_.resize(most_support + 1);
      for (std::uint64_t v = 0; v <= most_support; ++v) {
        char* p = support_text_.data() + v * kTextBytes;
        p[0] = '(';
        std::size_t len = 1 + format_decimal(p + 1, v, ')');
        p[len++] = '\n';
        support_length_[v] = static_cast<std::uint8_t>(len);
      }
    }
  }

  // Sets the item at position pos; positions below pos must already be set.
  [[gnu::always_inline]] void set_item(int pos, std::uint32_t dense_id) {
    // The whole slot: a fixed-size copy, the bytes past the label overwritten later.
    std::memcpy(buf_.data() + off_[pos], items_.label(dense_id), item_table::kLabelSlot);
    off_[pos + 1] = off_[pos] + items_.label_length(dense_id);
  }

  // Whether labels are worth fetching ahead: the label table does not sit in
  // the first-level cache.
  bool fetches_labels_ahead() const { return fetch_ahead_; }

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
    const std::size_t room = head + run_writer::kPastHead;
    if (room > Sink::kLineRoom) {
      set_item(last, dense_id);
      write(f, support);
      return;
    }
    char* p = f.room(room);
    f.commit(static_cast<std::size_t>(runs().lay_out(p, head, dense_id, support) - p));
  }

  // What a loop needs to lay out many lines that share their head (all but the
  // last item), as a value the loop keeps in registers: the stores through
  // char pointers would otherwise reload output_line's members on every line.
  class run_writer {
   public:
    // Bytes a line may take in a sink's room past its head.
    static constexpr std::size_t kPastHead = kChunk + item_table::kLabelSlot + kSupportBytes;
    // Lays out at p the line of the head (its first head bytes), the label of
    // dense_id and the support; returns the line's end. The room at p must hold
    // head + kPastHead bytes.
    char* lay_out(char* p, std::size_t head, std::uint32_t dense_id, std::uint64_t support) const {
      // The head in whole chunks and the label as its whole slot: fixed-size
      // copies, the bytes past the line overwritten later.
      for (std::size_t i = 0; i < head; i += kChunk) std::memcpy(p + i, line_ + i, kChunk);
      std::memcpy(p + head, labels_ + std::size_t{dense_id} * item_table::kLabelSlot,
                  item_table::kLabelSlot);
      p += head + lengths_[dense_id];
      if (texts_ != nullptr) {
        std::memcpy(p, texts_ + support * kTextBytes, kTextBytes);
        return p + text_lengths_[support];
      }
      *p = '(';
      p += 1 + format_decimal(p + 1, support, ')');
      *p = '\n';
      return p + 1;
    }

    // Sets the label of dense_id at byte `at` of the line (where the label of
    // the last position starts); returns the head of the lines whose last item
    // follows it. Unlike set_item, output_line's own positions are left as
    // they were.
    std::size_t set_label(std::size_t at, std::uint32_t dense_id) const {
      std::memcpy(line_ + at, labels_ + std::size_t{dense_id} * item_table::kLabelSlot,
                  item_table::kLabelSlot);
      return at + lengths_[dense_id];
    }

   private:
    friend class output_line;
    char* line_;
    const char* labels_;
    const std::uint8_t* lengths_;
    const char* texts_;  // null: the supports are formatted
    const std::uint8_t* text_lengths_;
  };
  run_writer runs() {
    run_writer w;
    w.line_ = buf_.data();
    w.labels_ = items_.label_slots();
    w.lengths_ = items_.label_lengths();
    w.texts_ = support_text_.empty() ? nullptr : support_text_.data();
    w.text_lengths_ = support_length_.data();
    return w;
  }
  // The bytes before the label of position pos: the head of the lines whose
  // last item is at pos.
  std::size_t head(int pos) const { return off_[pos]; }
  // Lines a loop lays out per room asked of the sink: the file's buffer is
  // written out when the room asked does not fit, so the room stays small
  // beside it.
  static constexpr std::size_t kLinesPerRoom = 32;

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
  // Supports up to this are tabled: "(65535)\n" fills the kTextBytes of a text.
  static constexpr std::uint64_t kMostTabledSupport = 65535;
  // Label tables up to this many bytes are left to the cache.
  static constexpr std::size_t kLabelsInCache = 32 * 1024;
  const item_table& items_;
  std::vector<char> buf_;
  std::vector<std::size_t> off_;  // off_[p]: where the label of position p starts
  const bool fetch_ahead_;
  std::vector<char> support_text_;  // "(%u)\n" of the supports tabled, if any
  std::vector<std::uint8_t> support_length_;
};
