// The sink of a counting pass that rewrites "dataset.tmp" in place in the typed
// layout (dataset/temp_dataset.h): the pass reads each record before the
// rewriter writes its shorter survivor, so the writer never overtakes the
// reader; finish() cuts the file after the last record written.
// T is the dense item type.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/temp_dataset.h"
#include "levels/transaction_sink.h"
#include "util/error.h"

template <class T>
class dataset_rewriter : public transaction_sink<T> {
 public:
  // path: the run's "dataset.tmp".
  explicit dataset_rewriter(const std::string& path) : path_(path), out_(path, false) {
    if (!out_.is_open()) throw run_error(path_ + " could not be opened!");
  }
  void add(T* items, std::uint32_t n) override { out_.write_record(items, static_cast<T>(n)); }
  void finish() override {
    out_.cut();
    out_.close();
  }
  bool rewrites_dataset() const override { return true; }

 private:
  std::string path_;
  temp_dataset_writer<T> out_;
};
