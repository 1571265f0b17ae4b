// Shared by the fuzz targets: the reader interfaces take a file name, so the
// input bytes go into an anonymous in-memory file named through /proc/self/fd.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

class memory_file {
 public:
  memory_file(const std::uint8_t* data, std::size_t size) {
    fd_ = memfd_create("kestrel_fuzz", 0);
    if (fd_ < 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    name_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~memory_file() { ::close(fd_); }
  memory_file(const memory_file&) = delete;
  memory_file& operator=(const memory_file&) = delete;
  const std::string& name() const { return name_; }

 private:
  int fd_ = -1;
  std::string name_;
};
