// Test helpers for files: a fresh temporary directory that is the working
// directory while it lives (a run writes "dataset.tmp" into the working
// directory), whole-file reads and writes, and an existence check.
#pragma once

#include <string>

class test_dir {
 public:
  // Creates /tmp/kestrel-<tag>-XXXXXX and makes it the working directory.
  explicit test_dir(const std::string& tag = "test");
  // Restores the previous working directory and removes the directory with its
  // files (links are not followed), unless keep() was called.
  ~test_dir();
  test_dir(const test_dir&) = delete;
  test_dir& operator=(const test_dir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Leaves the directory behind, so a failing case can be replayed by hand.
  void keep() { keep_ = true; }

 private:
  std::string path_, previous_;
  bool keep_ = false;
};

// Throw std::runtime_error when the file cannot be written; reading an absent
// file gives "".
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

// True when something (a file, directory or link, even a dangling one) has that name.
bool path_exists(const std::string& path);

// The temporary file a run writes the output `name` in dir to (util/partial_output.h),
// "" when there is none; the first one found when there are several.
std::string partial_output_of(const std::string& dir, const std::string& name);

// Writes all of text into fd, a pipe or FIFO: blocks until the reader has taken enough.
void write_all(int fd, const std::string& text);
