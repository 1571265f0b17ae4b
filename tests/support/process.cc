#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/files.h"

namespace {

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool is_regular_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A new empty file dir/<stem>-XXXXXX.txt whose name no other run in the
// directory has, concurrent runs included.
std::string unique_file(const std::string& dir, const char* stem) {
  std::string path = dir + "/" + stem + "-XXXXXX.txt";
  const int fd = mkstemps(path.data(), 4);
  if (fd >= 0) close(fd);
  return path;
}

}  // namespace

kestrel_run::kestrel_run(const std::string& dir, const std::vector<std::string>& args,
                         const run_io& io)
    : dir_(dir), args_(args) {
  out_path_ = io.stdout_path.empty() ? unique_file(dir, "stdout") : io.stdout_path;
  err_path_ = unique_file(dir, "stderr");
  std::string& command = outcome_.command;
  command = "cd " + shell_quote(dir) + " && " + shell_quote(io.program);
  for (const std::string& a : args) command += " " + shell_quote(a);
  if (!io.stdin_path.empty()) command += " < " + shell_quote(io.stdin_path);
  if (io.stdin_text && io.stdin_text->size() <= 256)
    command = "printf %s " + shell_quote(*io.stdin_text) + " | (" + command + ")";
  else if (io.stdin_text)
    command += "  # " + std::to_string(io.stdin_text->size()) + " bytes piped into standard input";

  std::vector<std::string> argv_store = {io.program};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string in_path = io.stdin_path.empty() ? "/dev/null" : io.stdin_path;

  // Close-on-exec, so the child holds no write end and sees the end of the text.
  int text_pipe[2] = {-1, -1};
  if (io.stdin_text && pipe2(text_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {  // only async-signal-safe calls until exec
    const int out = io.stdout_fd >= 0 ? io.stdout_fd
                                      : open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(126);
    // Standard input last: opening a FIFO waits for its writer.
    const int in = io.stdin_text ? text_pipe[0] : open(in_path.c_str(), O_RDONLY);
    if (in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    signal(SIGPIPE, SIG_DFL);
    alarm(300);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (io.stdin_text) {
    close(text_pipe[0]);
    signal(SIGPIPE, SIG_IGN);  // a run that stops reading early must not kill the test
    try {
      write_all(text_pipe[1], *io.stdin_text);
    } catch (const std::runtime_error&) {  // the run closed its input; its outcome tells why
    }
    close(text_pipe[1]);
  }
}

kestrel_run::~kestrel_run() {
  if (done_) return;
  kill(pid_, SIGKILL);
  finish();
}

void kestrel_run::send_signal(int signal_number) {
  if (!done_) kill(pid_, signal_number);
}

const run_outcome& kestrel_run::finish() {
  if (done_) return outcome_;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  done_ = true;
  run_outcome& r = outcome_;
  if (WIFEXITED(status)) r.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal_number = WTERMSIG(status);
  if (is_regular_file(out_path_)) r.stdout_text = read_file(out_path_);
  r.stderr_text = read_file(err_path_);
  for (std::size_t i = 0; i + 1 < args_.size(); i += 2) {
    if (args_[i] != "output") continue;
    const std::string& o = args_[i + 1];
    const std::string path = o.empty() || o[0] == '/' ? o : dir_ + "/" + o;
    if ((r.output_exists = is_regular_file(path))) r.output_text = read_file(path);
  }
  // kestrel-mpi's ranks keep "dataset.tmp.<rank>".
  r.temporary_left = path_exists(dir_ + "/dataset.tmp");
  for (int rank = 0; rank < 4; ++rank)
    r.temporary_left =
        r.temporary_left || path_exists(dir_ + "/dataset.tmp." + std::to_string(rank));
  return r;
}

run_outcome run_kestrel(const std::string& dir, const std::vector<std::string>& args,
                        const run_io& io) {
  return kestrel_run(dir, args, io).finish();
}

run_outcome run_here(const std::string& program, const std::vector<std::string>& args) {
  run_io io;
  io.program = program;
  return run_kestrel(".", args, io);
}
