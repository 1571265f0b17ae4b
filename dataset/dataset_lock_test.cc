// The lock keeps a second run out of a directory whose "dataset.tmp" is in
// use, and only there: a name that leads to a device is shared by every
// directory and is not locked.
#include "dataset/dataset_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

TEST(DatasetLock, SecondHolderOfARegularFileIsRefusedUntilTheFirstLetsGo) {
  test_dir dir;
  write_file("dataset.tmp", "data");
  dataset_lock first;
  first.acquire("dataset.tmp");
  dataset_lock second;
  EXPECT_EQ(run_error_of([&] { second.acquire("dataset.tmp"); }),
            "dataset.tmp is in use by another KESTREL run in this directory!");
  EXPECT_EQ(read_file("dataset.tmp"), "data");  // the refused one truncated nothing
  first.release();
  EXPECT_EQ(run_error_of([&] { second.acquire("dataset.tmp"); }), "no error");
  second.remove_and_release();
  EXPECT_FALSE(path_exists("dataset.tmp"));
}

// Two directories whose "dataset.tmp" links to the same device: both runs go
// on, each sees the device as its temporary dataset, and the links stay.
TEST(DatasetLock, LinksToOneDeviceInTwoDirectoriesAreBothTaken) {
  for (const char* device : {"/dev/null", "/dev/full"}) {
    test_dir one;
    ASSERT_EQ(symlink(device, "dataset.tmp"), 0);
    dataset_lock first;
    first.acquire(one.file("dataset.tmp"));
    test_dir two;
    ASSERT_EQ(symlink(device, "dataset.tmp"), 0);
    dataset_lock second;
    EXPECT_EQ(run_error_of([&] { second.acquire("dataset.tmp"); }), "no error") << device;
    EXPECT_TRUE(second.is_locked_file(device)) << device;
    EXPECT_TRUE(first.is_locked_file(device)) << device;
    first.remove_and_release();
    second.remove_and_release();
    EXPECT_TRUE(path_exists(one.file("dataset.tmp"))) << device;
    EXPECT_TRUE(path_exists("dataset.tmp")) << device;
  }
}

}  // namespace
