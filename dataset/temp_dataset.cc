#include "dataset/temp_dataset.h"

const char* const TEMPORARY_DATASET = "dataset.tmp";

ibm_reader::ibm_reader(const std::string& name) { f_ = std::fopen(name.c_str(), "r"); }

ibm_reader::~ibm_reader() {
  if (f_ != nullptr) std::fclose(f_);
}

bool ibm_reader::read_next(std::vector<std::int32_t>& items) {
  items.clear();
  std::int32_t head[3];  // customer id, transaction id, item count
  if (std::fread(head, sizeof(std::int32_t), 3, f_) != 3) return false;
  if (head[2] < 0) return false;  // not a record of the generator layout
  items.resize(static_cast<std::size_t>(head[2]));
  std::size_t n = items.size();
  if (n != 0 && std::fread(items.data(), sizeof(std::int32_t), n, f_) != n) {
    items.clear();
    return false;
  }
  return true;
}

fimi_writer::fimi_writer(const std::string& name) : name_(name) {
  f_ = std::fopen(name.c_str(), "w+");
}

fimi_writer::~fimi_writer() {
  if (f_ != nullptr) std::fclose(f_);
}

void fimi_writer::write_record(const std::vector<std::int32_t>& items) {
  if (items.empty()) return;
  for (std::int32_t item : items)
    if (std::fprintf(f_, "%d ", item) < 0) throw run_error(name_ + " could not be written!");
  if (std::fputc('\n', f_) == EOF) throw run_error(name_ + " could not be written!");
}

void fimi_writer::close() {
  if (f_ == nullptr) return;
  FILE* f = f_;
  f_ = nullptr;
  bool ok = std::fflush(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw run_error(name_ + " could not be written!");
}
