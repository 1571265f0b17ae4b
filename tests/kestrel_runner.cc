#include "tests/kestrel_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tests/reference_miner.h"

namespace kestrel_test {
namespace {

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Sums the Rk column over the level rows (" k: [phase] Ck Lk Rk ..."; the Winnow
// rows start with '(' and are skipped). Returns "" or why a row is unreadable.
std::string sum_written_column(const std::string& stdout_text, long long* sum) {
  *sum = 0;
  std::istringstream lines(stdout_text);
  bool any = false;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t i = line.find_first_not_of(' ');
    const std::size_t j = line.find_first_not_of("0123456789", i);
    if (i == std::string::npos || j == i || j == std::string::npos || line[j] != ':') continue;
    std::istringstream fields(line.substr(j + 1));
    std::vector<std::string> tokens;
    for (std::string tok; fields >> tok;) tokens.push_back(tok);
    // The phase name is absent on the level-0 row.
    const std::size_t first = !tokens.empty() && !(tokens[0][0] >= '0' && tokens[0][0] <= '9');
    if (tokens.size() < first + 3) return "unreadable progress row: " + line;
    char* end = nullptr;
    *sum += std::strtoll(tokens[first + 2].c_str(), &end, 10);
    if (*end != '\0') return "unreadable Rk in progress row: " + line;
    any = true;
  }
  return any ? "" : "no progress rows on stdout";
}

}  // namespace

std::string make_temp_dir(const std::string& tag) {
  std::string pattern = "/tmp/kestrel-" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void remove_tree(const std::string& dir) {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  if (!(out << text)) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

RunOutcome run_kestrel(const std::string& dir, const std::vector<std::string>& args,
                       const std::string& stdin_path) {
  RunOutcome r;
  r.command = "cd " + shell_quote(dir) + " && " + shell_quote(KESTREL_BIN);
  for (const std::string& a : args) r.command += " " + shell_quote(a);
  if (!stdin_path.empty()) r.command += " < " + shell_quote(stdin_path);
  const std::string out_path = dir + "/stdout.txt", err_path = dir + "/stderr.txt";
  std::vector<std::string> argv_store = {KESTREL_BIN};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {  // only async-signal-safe calls until exec
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int in = open(stdin_path.empty() ? "/dev/null" : stdin_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    alarm(300);  // a hung run dies by SIGALRM and is reported as a signal
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) r.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal_number = WTERMSIG(status);
  r.stdout_text = read_file(out_path);
  r.stderr_text = read_file(err_path);
  for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] != "output") continue;
    const std::string& o = args[i + 1];
    const std::string path = o.empty() || o[0] == '/' ? o : dir + "/" + o;
    if ((r.output_exists = exists(path))) r.output_text = read_file(path);
  }
  r.temporary_left = exists(dir + "/dataset.tmp");
  return r;
}

std::string judge_run(const RunOutcome& run, const std::vector<std::string>& expected,
                      std::size_t prefix_len) {
  std::ostringstream s;
  if (run.signal_number != 0) return "killed by signal " + std::to_string(run.signal_number) + "\n";
  if (run.exit_status != 0)
    return "exit status " + std::to_string(run.exit_status) + ", stderr: " + run.stderr_text + "\n";
  const std::vector<std::string> actual = reference::normalise_output(run.output_text, prefix_len);
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                      std::back_inserter(missing));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  if (!missing.empty() || !extra.empty()) {
    s << "expected " << expected.size() << " lines, got " << actual.size() << "; " << missing.size()
      << " missing, " << extra.size() << " unexpected\n";
    for (std::size_t k = 0; k < missing.size() && k < 8; ++k)
      s << "  missing:    " << missing[k] << "\n";
    for (std::size_t k = 0; k < extra.size() && k < 8; ++k)
      s << "  unexpected: " << extra[k] << "\n";
  }
  long long rk = 0;
  const std::string why = sum_written_column(run.stdout_text, &rk);
  if (!why.empty()) {
    s << why << "\n";
  } else if (rk != static_cast<long long>(actual.size())) {
    s << "progress table Rk sums to " << rk << " but the output has " << actual.size()
      << " lines\n";
  }
  // "\n Total time: " closes a run whose engine ran; that run removes the file.
  if (run.stdout_text.find("\n Total time: ") != std::string::npos && run.temporary_left)
    s << "dataset.tmp left behind after a completed engine run\n";
  return s.str();
}

}  // namespace kestrel_test
