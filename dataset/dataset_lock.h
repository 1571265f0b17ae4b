// Exclusive use of the temporary dataset by one run.
//
// "dataset.tmp" lives in the working directory, so two runs started in the same
// directory would rewrite each other's file. A run takes a non-blocking
// exclusive flock on a descriptor of the file itself before the first scan
// empties it, and holds it until the process ends; a second run fails at once.
// The file is opened without truncation, so taking the lock never disturbs the
// holder's data. A name that leads to something other than a regular file (a
// device, a pipe) is opened but not locked: nothing of a run is kept there, and
// the device is the same in every directory.
#pragma once

#include <string>

class dataset_lock {
 public:
  dataset_lock() = default;
  ~dataset_lock();  // releases the lock, keeps the file
  dataset_lock(const dataset_lock&) = delete;
  dataset_lock& operator=(const dataset_lock&) = delete;

  // Opens (creating if needed) name and locks it. Throws run_error
  //   "<name> could not be opened!" when it cannot be opened for writing (a
  //   directory of that name, a read-only directory), and
  //   "<name> is in use by another KESTREL run in this directory!" when another
  //   process holds the lock.
  void acquire(const std::string& name);
  // Removes the file while still holding the lock, then releases it (error path:
  // a failed run leaves no half-written temporary dataset behind).
  void remove_and_release();
  // Releases the lock and keeps the file.
  void release();
  // True when path leads to the locked file (another name, a link).
  bool is_locked_file(const std::string& path) const;

 private:
  std::string name_;
  int fd_ = -1;
};
