#include "dataset/fimi_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "util/error.h"

namespace {
constexpr std::uint64_t kMaxId = 0xFFFFFFFFull;
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

fimi_reader::fimi_reader(const std::string& name, const std::string& open_error_message,
                         std::size_t block_size)
    : name_(name), buf_(block_size == 0 ? 1 : block_size) {
  fd_ = ::open(name.c_str(), O_RDONLY);
  if (fd_ < 0) throw run_error(open_error_message);
}

fimi_reader::~fimi_reader() {
  if (fd_ >= 0) ::close(fd_);
}

// Refills the buffer; false at the end of the file. A pipe may deliver short
// reads, which are fine: the parser keeps its state across blocks.
bool fimi_reader::fill() {
  if (eof_) return false;
  while (true) {
    ssize_t got = ::read(fd_, buf_.data(), buf_.size());
    if (got > 0) {
      block_start_ += end_;
      pos_ = 0;
      end_ = static_cast<std::size_t>(got);
      if (meter != nullptr) meter->set_bytes(block_start_ + end_);
      return true;
    }
    if (got == 0) {
      eof_ = true;
      return false;
    }
    if (errno != EINTR) throw run_error(name_ + " could not be read!");
  }
}

void fimi_reader::error(const char* what) const { throw line_error(name_, line_, what); }

// One pass over the bytes of a line. A number is read by a loop of its own, so
// the bytes between numbers cost one test each and a digit no more than its
// value; the two bytes before a number (which catch "-5" and "1.5") are read
// from the block, or, at its start, from the last two bytes of the block
// before, which are carried across block boundaries with any number in progress.
bool fimi_reader::next_line(std::vector<std::uint32_t>& items) {
  items.clear();
  if (block_start_ + pos_ >= part_end_) return false;
  if (pos_ == end_ && !fill()) return false;
  ++line_;
  char prev = '\n', prev2 = '\n';  // the line's last two bytes before the block's first
  bool in_number = false;
  std::uint64_t value = 0;
  while (true) {
    if (pos_ == end_ && !fill()) break;  // a final line without a newline
    const char* const begin = buf_.data() + pos_;
    const char* const e = buf_.data() + end_;
    const char* p = begin;
    while (p != e) {
      if (!in_number) {
        const char c = *p++;
        if (!is_digit(c)) {
          if (c == '\n') {
            pos_ = static_cast<std::size_t>(p - buf_.data());
            return true;
          }
          continue;
        }
        const std::ptrdiff_t before = p - 1 - begin;  // bytes of the block before the digit
        const char b1 = before >= 1 ? p[-2] : prev;
        const char b2 = before >= 2 ? p[-3] : before == 1 ? prev : prev2;
        if (b1 == '-') {
          pos_ = static_cast<std::size_t>(p - buf_.data());
          error("minus sign before a number");
        }
        if (b1 == '.' && is_digit(b2)) {
          pos_ = static_cast<std::size_t>(p - buf_.data());
          error("decimal point inside a number");
        }
        in_number = true;
        value = static_cast<std::uint64_t>(c - '0');
      }
      for (; p != e; ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
        if (digit > 9) break;
        value = value * 10 + digit;
        if (value > kMaxId) {
          pos_ = static_cast<std::size_t>(p + 1 - buf_.data());
          too_large(value);
        }
      }
      if (p == e) break;  // the number may go on in the next block
      items.push_back(static_cast<std::uint32_t>(value));
      in_number = false;
    }
    if (e - begin >= 2) {
      prev2 = e[-2];
      prev = e[-1];
    } else {
      prev2 = prev;
      prev = e[-1];
    }
    pos_ = end_;
  }
  if (in_number) items.push_back(static_cast<std::uint32_t>(value));
  return true;
}

// Reports an id of 2^32 or more with all of its digits (up to a sane length).
void fimi_reader::too_large(std::uint64_t value) {
  std::string digits = std::to_string(value);
  while (true) {
    if (pos_ == end_ && !fill()) break;
    char c = buf_[pos_];
    if (!is_digit(c)) break;
    if (digits.size() < 40) digits += c;
    ++pos_;
  }
  if (digits.size() >= 40) digits += "...";
  std::string what = "item id " + digits + " does not fit 32 bits";
  error(what.c_str());
}

void fimi_reader::keep_to_part(std::uint64_t part, std::uint64_t parts) {
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
    throw run_error(name_ + ": the input must be a regular file to be split");
  const auto size = static_cast<std::uint64_t>(st.st_size);
  // size * part / parts without overflow for any file size.
  auto boundary = [&](std::uint64_t p) { return size / parts * p + size % parts * p / parts; };
  const std::uint64_t begin = boundary(part);
  part_end_ = part + 1 == parts ? UINT64_MAX : boundary(part + 1);
  if (begin == 0) return;
  // A line belongs to the part its first byte lies in: skip through the newline
  // that ends the line before it (the byte before begin may be that newline).
  if (::lseek(fd_, static_cast<off_t>(begin - 1), SEEK_SET) < 0)
    throw run_error(name_ + " could not be read!");
  block_start_ = begin - 1;
  pos_ = end_ = 0;
  while (pos_ != end_ || fill()) {
    if (buf_[pos_++] == '\n') return;
  }
}
