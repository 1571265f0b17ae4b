#include "dataset/dataset_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/error.h"

dataset_lock::~dataset_lock() { release(); }

void dataset_lock::release() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the flock
  fd_ = -1;
}

void dataset_lock::acquire(const std::string& name) {
  release();
  name_ = name;
  // The holder of a lock removes the file at the end of its run; a lock taken on
  // a removed file protects nothing, so check that the name still leads to the
  // locked file and start again if it does not.
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd;
    do fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw run_error(name + " could not be opened!");
    // A device or a pipe at that name (a link to /dev/null, say) keeps no data
    // that another run could overwrite, and it is shared by every directory: a
    // lock on it would refuse runs elsewhere, or fail for whatever else locks it.
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && !S_ISREG(opened.st_mode)) {
      fd_ = fd;
      return;
    }
    int locked;
    do locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      const bool busy = errno == EWOULDBLOCK;
      ::close(fd);
      if (busy) throw run_error(name + " is in use by another KESTREL run in this directory!");
      throw run_error(name + " could not be opened!");
    }
    struct stat by_fd, by_name;
    if (::fstat(fd, &by_fd) == 0 && ::stat(name.c_str(), &by_name) == 0 &&
        by_fd.st_dev == by_name.st_dev && by_fd.st_ino == by_name.st_ino) {
      fd_ = fd;
      return;
    }
    ::close(fd);
  }
  throw run_error(name + " could not be opened!");
}

void dataset_lock::remove_and_release() {
  if (fd_ < 0) return;
  // Only the locked file itself, as a regular file, is ours to remove: the name
  // may be a link, or may lead to a newer run's file once ours was removed.
  struct stat st;
  if (::lstat(name_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && is_locked_file(name_))
    ::unlink(name_.c_str());
  release();
}

bool dataset_lock::is_locked_file(const std::string& path) const {
  struct stat locked, other;
  return fd_ >= 0 && ::fstat(fd_, &locked) == 0 && ::stat(path.c_str(), &other) == 0 &&
         locked.st_dev == other.st_dev && locked.st_ino == other.st_ino;
}
