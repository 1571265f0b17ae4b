#include "util/output_file.h"

#include <vector>

#include "util/decimal.h"
#include "util/error.h"
#include "util/item_names.h"

output_file::output_file(const std::string& name, const char* mode) : name_(name) {
  f_ = std::fopen(name.c_str(), mode);
  if (f_ == nullptr) throw run_error(name + " could not be opened for writing!");
}

output_file::output_file(output_target& target, const char* mode) : name_(target.file) {
  if (target.consumer) {
    consumer_ = target.consumer;
    return;
  }
  const bool creates = mode[0] == 'w';
  if (creates)
    f_ = open_output(name_, target.partial);
  else
    f_ = std::fopen((target.partial.path.empty() ? name_ : target.partial.path).c_str(), mode);
  if (f_ == nullptr) throw run_error(name_ + " could not be opened for writing!");
  if (creates) target.created = true;
  if (target.names != nullptr) names_ = std::make_unique<item_name_writer>(*target.names);
}

output_file::~output_file() {
  if (f_ != nullptr) std::fclose(f_);
}

void output_file::fail() const { throw run_error(name_ + " could not be written!"); }

void output_file::raw_write(const char* bytes, std::size_t n) {
  if (consumer_) {
    consume_lines(bytes, n);
    return;
  }
  if (names_) {
    named_.clear();
    names_->translate(bytes, n, named_);
    bytes = named_.data();
    n = named_.size();
  }
  if (n != 0 && std::fwrite(bytes, 1, n, f_) != n) fail();
}

// A line is "<id> <id> ... (<support>)\n": every number before the parenthesis
// is an item, the one inside it the support.
void output_file::consume_lines(const char* bytes, std::size_t n) {
  pending_.append(bytes, n);
  std::vector<std::uint32_t> items;
  std::size_t start = 0;
  for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    items.clear();
    std::uint64_t v = 0;
    for (std::size_t i = start; i < end; ++i) {
      const char c = pending_[i];
      if (c >= '0' && c <= '9') {
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
      } else if (c == ' ') {
        items.push_back(static_cast<std::uint32_t>(v));
        v = 0;
      } else if (c == '(') {
        v = 0;
      }
    }
    consumer_(items.data(), items.size(), v);
  }
  pending_.erase(0, start);
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
  if (consumer_) {
    flush_buffer();
    consumer_ = nullptr;
    return;
  }
  if (f_ == nullptr) return;
  flush_buffer();
  FILE* f = f_;
  f_ = nullptr;
  bool ok = std::fflush(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) fail();
}
