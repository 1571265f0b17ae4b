#include "util/partial_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace {

// Symbolic links followed before giving up (the kernel's own limit).
constexpr int kMostLinks = 40;
// Bytes of the output's own name kept in the temporary name: with the suffix
// it stays within the 255 bytes a file name may have.
constexpr std::size_t kMostNameBytes = 200;

// Whether st is the file of descriptor fd.
bool same_file(const struct stat& st, int fd) {
  struct stat other;
  return fstat(fd, &other) == 0 && other.st_dev == st.st_dev && other.st_ino == st.st_ino;
}

// The file that name's symbolic links lead to (name itself when it is none);
// false when there are too many or one cannot be read.
bool follow_links(std::string name, std::string& target) {
  for (int i = 0; i < kMostLinks; ++i) {
    struct stat st;
    if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = name;
      return true;
    }
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(name.c_str(), &link[0], link.size());
    if (n < 0 || static_cast<std::size_t>(n) >= link.size()) return false;
    link.resize(static_cast<std::size_t>(n));
    // A relative link is read from the link's own directory.
    const std::size_t slash = name.rfind('/');
    name = link[0] == '/' || slash == std::string::npos ? link : name.substr(0, slash + 1) + link;
  }
  return false;
}

// Creates a new temporary file beside target with the given mode (less the
// umask); its descriptor, or -1 with errno set.
int create_beside(const std::string& target, mode_t mode, std::string& path) {
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = target.substr(dir.size()).substr(0, kMostNameBytes);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[32];
    std::snprintf(tail, sizeof tail, "%ld-%08x", static_cast<long>(getpid()),
                  static_cast<unsigned>(random()));
    path = dir + base + kPartialSuffix + tail;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::FILE* open_output(const std::string& name, partial_output& partial) {
  partial = {};
  struct stat st;
  const bool exists = stat(name.c_str(), &st) == 0;
  // Absent (or a link to nothing): created; any other failure is fopen's to report.
  const bool absent = !exists && errno == ENOENT;
  const bool replaceable =
      exists ? S_ISREG(st.st_mode) && !same_file(st, STDOUT_FILENO) && !same_file(st, STDERR_FILENO)
             : absent;
  std::string target;
  if (!replaceable || !follow_links(name, target)) return std::fopen(name.c_str(), "w+");

  std::string path;
  const int fd = create_beside(target, 0666, path);
  if (fd < 0) return nullptr;
  if (exists) {
    // As the file replaced: its owner (where allowed), then its mode, which a
    // change of owner may have cleared bits of.
    if ((st.st_uid != geteuid() || st.st_gid != getegid()) && fchown(fd, st.st_uid, st.st_gid)) {
      // Not permitted: the new file is the runner's, as any file it creates.
    }
    if (fchmod(fd, st.st_mode & 07777) != 0) {
      // The umask's mode stays; nothing is lost.
    }
  }
  std::FILE* f = fdopen(fd, "w");
  if (f == nullptr) {
    const int error = errno;
    close(fd);
    unlink(path.c_str());
    errno = error;
    return nullptr;
  }
  partial.path = path;
  partial.replaces = target;
  return f;
}

bool put_in_place(partial_output& partial) {
  if (partial.path.empty()) return true;
  if (std::rename(partial.path.c_str(), partial.replaces.c_str()) != 0) return false;
  partial = {};
  return true;
}

void discard(partial_output& partial) {
  if (!partial.path.empty()) unlink(partial.path.c_str());
  partial = {};
}
