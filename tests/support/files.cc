#include "tests/support/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "util/partial_output.h"

test_dir::test_dir(const std::string& tag) : previous_(std::filesystem::current_path()) {
  std::string pattern = "/tmp/kestrel-" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (chdir(path_.c_str()) != 0) throw std::runtime_error("cannot enter " + path_);
}

test_dir::~test_dir() {
  if (chdir(previous_.c_str()) != 0) std::abort();
  if (keep_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  if (!(out << bytes) || !out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

bool path_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string partial_output_of(const std::string& dir, const std::string& name) {
  const std::string prefix = name + kPartialSuffix;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string file = entry.path().filename().string();
    if (file.rfind(prefix, 0) == 0) return entry.path().string();
  }
  return "";
}

void write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) throw std::runtime_error("write to a pipe failed");
    done += static_cast<std::size_t>(n);
  }
}
