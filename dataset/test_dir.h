// Test helper: a fresh temporary directory that a test works in (the run writes
// "dataset.tmp" into the working directory), removed with its files afterwards.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class test_dir {
 public:
  test_dir() {
    char tmpl[] = "/tmp/kestrel_test_XXXXXX";
    path_ = mkdtemp(tmpl);
    char buf[4096];
    old_ = getcwd(buf, sizeof buf);
    if (chdir(path_.c_str()) != 0) std::abort();
  }
  ~test_dir() {
    if (chdir(old_.c_str()) != 0) std::abort();
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") std::remove((path_ + "/" + n).c_str());
      }
      closedir(d);
    }
    rmdir(path_.c_str());
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
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
