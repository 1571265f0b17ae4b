#include "util/output_file.h"

#include "util/decimal.h"
#include "util/error.h"

std::string OUTF;
bool write_output = false;
bool output_created = false;

output_file::output_file(const std::string& name, const char* mode) : name_(name) {
  f_ = std::fopen(name.c_str(), mode);
  if (f_ == nullptr) throw run_error(name + " could not be opened for writing!");
  if (mode[0] == 'w' && name == OUTF) output_created = true;
}

output_file::~output_file() {
  if (f_ != nullptr) std::fclose(f_);
}

void output_file::fail() const { throw run_error(name_ + " could not be written!"); }

void output_file::raw_write(const char* bytes, std::size_t n) {
  if (n != 0 && std::fwrite(bytes, 1, n, f_) != n) fail();
}

void output_file::flush_buffer() {
  raw_write(buf_, used_);
  used_ = 0;
}

void output_file::write_uint_blank(std::uint32_t v) {
  char tmp[24];
  write(tmp, format_decimal(tmp, v, ' '));
}

void output_file::write_support(std::uint64_t v) {
  char tmp[24];
  tmp[0] = '(';
  std::size_t n = 1 + format_decimal(tmp + 1, v, ')');
  tmp[n++] = '\n';
  write(tmp, n);
}

void output_file::close() {
  if (f_ == nullptr) return;
  flush_buffer();
  FILE* f = f_;
  f_ = nullptr;
  bool ok = std::fflush(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) fail();
}
