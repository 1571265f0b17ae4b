// Where the first scan reads transactions from: a FIMI file (fimi_reader) or
// rows held in memory by a library caller. Either gives each line's items in
// line order, duplicates kept; the first scan makes every line a set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/fimi_reader.h"

class transaction_source {
 public:
  virtual ~transaction_source() = default;
  // The next line's items; false at the end.
  virtual bool next_line(std::vector<std::uint32_t>& items) = 0;
};

class fimi_file_source : public transaction_source {
 public:
  // Throws run_error("ERROR: Cannot open input file!") when name cannot be opened.
  explicit fimi_file_source(const std::string& name)
      : reader_(name, "ERROR: Cannot open input file!") {}
  // Only the lines of part `part` of `parts` (fimi_reader::keep_to_part).
  fimi_file_source(const std::string& name, std::uint64_t part, std::uint64_t parts)
      : fimi_file_source(name) {
    reader_.keep_to_part(part, parts);
  }
  bool next_line(std::vector<std::uint32_t>& items) override { return reader_.next_line(items); }
  // Tells meter the bytes read as blocks come in (null: nobody).
  void meter_reads(pass_meter* meter) { reader_.meter = meter; }

 private:
  fimi_reader reader_;
};

class memory_source : public transaction_source {
 public:
  explicit memory_source(const std::vector<std::vector<std::uint32_t>>& rows) : rows_(rows) {}
  bool next_line(std::vector<std::uint32_t>& items) override {
    if (next_ == rows_.size()) return false;
    items = rows_[next_++];
    return true;
  }

 private:
  const std::vector<std::vector<std::uint32_t>>& rows_;
  std::size_t next_ = 0;
};
