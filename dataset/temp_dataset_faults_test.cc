// The temporary dataset's reader and writer on damaged or failing files: every
// problem is a run_error with the file's name, never a short or garbled record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dataset/temp_dataset.h"

namespace {

struct temp_file {
  temp_file() {
    char tmpl[] = "/tmp/kestrel_tmpfile_XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd < 0) std::abort();
    close(fd);
    path = tmpl;
  }
  ~temp_file() { std::remove(path.c_str()); }
  void write_words(const std::vector<std::uint32_t>& words) const {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(words.data()),
               static_cast<std::streamsize>(words.size() * sizeof(std::uint32_t)));
  }
  std::string path;
};

// Reads every record through the fixed-capacity reader of the engine.
std::string read_error(const std::string& path, std::uint32_t capacity) {
  temp_dataset_reader<std::uint32_t> in(path);
  counting_transaction<std::uint32_t> t(capacity, 3, 8);
  try {
    while (in.read_next(t)) {
    }
  } catch (const run_error& e) {
    return e.what();
  }
  return "";
}

TEST(TemporaryDatasetFaults, DamagedFilesAreReportedByName) {
  temp_file f;
  struct Case {
    std::vector<std::uint32_t> words;
    std::size_t cut_bytes;  // bytes removed from the end
    std::string what;
  } cases[] = {
      {{2, 1, 2, 1, 7}, 0, ""},
      {{2, 1, 2, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, " holds a record longer than expected!"},
      {{2, 1, 2, 3, 4}, 0, " is truncated!"},
      {{2, 1, 2, 1, 7}, 2, " is truncated!"},
      {{2, 1, 2, 1}, 2, " is truncated!"},  // a length cut in half
  };
  for (const Case& c : cases) {
    f.write_words(c.words);
    if (c.cut_bytes != 0) {
      ASSERT_EQ(truncate(f.path.c_str(), static_cast<off_t>(c.words.size() * 4 - c.cut_bytes)), 0);
    }
    EXPECT_EQ(read_error(f.path, 4), c.what.empty() ? "" : f.path + c.what) << c.what;
  }
  // A directory opens for reading but every read fails.
  EXPECT_EQ(read_error("/tmp", 4), "/tmp could not be read!");
}

TEST(TemporaryDatasetFaults, WritesToAFullDeviceFail) {
  // Few records stay in the buffer until close; many fail at a write.
  for (int records : {1, 300000}) {
    temp_dataset_writer<std::uint32_t> out("/dev/full", true);
    ASSERT_TRUE(out.is_open());
    const std::uint32_t items[3] = {1, 2, 3};
    std::string what;
    try {
      for (int i = 0; i < records; ++i) out.write_record(items, 3);
      out.close();
    } catch (const run_error& e) {
      what = e.what();
    }
    EXPECT_EQ(what, "/dev/full could not be written!") << records;
  }
}

}  // namespace
