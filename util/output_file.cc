#include "util/output_file.h"

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
  char tmp[16];
  int n = 0;
  char digits[12];
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = 0; i < n; ++i) tmp[i] = digits[n - 1 - i];
  tmp[n] = ' ';
  write(tmp, n + 1);
}

void output_file::write_support(std::uint64_t v) {
  char tmp[32];
  int n = std::snprintf(tmp, sizeof tmp, "(%llu)\n", static_cast<unsigned long long>(v));
  write(tmp, static_cast<std::size_t>(n));
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
