// Test helpers: a fresh temporary working directory (the run writes "dataset.tmp"
// into it), removed with its files afterwards; whole-file read and write; the
// message of a run_error.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "util/error.h"

class test_dir {
 public:
  test_dir() : old_(std::filesystem::current_path()) {
    char tmpl[] = "/tmp/kestrel_test_XXXXXX";
    path_ = mkdtemp(tmpl);
    if (chdir(path_.c_str()) != 0) std::abort();
  }
  ~test_dir() {
    if (chdir(old_.c_str()) != 0) std::abort();
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_, old_;
};

inline void write_file(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

inline std::string read_file(const std::string& name) {
  std::ostringstream s;
  s << std::ifstream(name, std::ios::binary).rdbuf();
  return s.str();
}

// The message of the run_error that f() throws, or "no error".
template <class F>
std::string run_error_of(F f) {
  try {
    f();
  } catch (const run_error& e) {
    return e.what();
  }
  return "no error";
}
