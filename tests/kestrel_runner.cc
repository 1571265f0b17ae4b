#include "tests/kestrel_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

}  // namespace

std::string make_temp_dir(const std::string& tag) {
  std::string pattern = "/tmp/kestrel-" + tag + "-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  return std::string(buf.data());
}

void remove_tree(const std::string& dir) {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

RunOutcome run_kestrel(const std::string& dir, const std::vector<std::string>& args,
                       const std::string& stdin_path, unsigned timeout_seconds) {
  RunOutcome r;
  r.command = "cd " + shell_quote(dir) + " && " + shell_quote(KESTREL_BIN);
  for (const std::string& a : args) r.command += " " + shell_quote(a);
  if (!stdin_path.empty()) r.command += " < " + shell_quote(stdin_path);

  const std::string out_path = dir + "/stdout.txt";
  const std::string err_path = dir + "/stderr.txt";
  std::vector<std::string> argv_store;
  argv_store.push_back(KESTREL_BIN);
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec.
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int in = open(stdin_path.empty() ? "/dev/null" : stdin_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    alarm(timeout_seconds);  // a hung run dies by SIGALRM and is reported as a signal
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    r.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal_number = WTERMSIG(status);
  }
  r.stdout_text = read_file(out_path);
  r.stderr_text = read_file(err_path);
  for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] != "output") continue;
    const std::string path = args[i + 1].empty() || args[i + 1][0] == '/'
                                 ? args[i + 1]
                                 : dir + "/" + args[i + 1];
    struct stat st;
    r.output_exists = stat(path.c_str(), &st) == 0;
    if (r.output_exists) r.output_text = read_file(path);
  }
  struct stat st;
  r.temporary_left = stat((dir + "/dataset.tmp").c_str(), &st) == 0;
  return r;
}

bool sum_written_column(const std::string& stdout_text, long long* sum, std::string* why) {
  *sum = 0;
  std::istringstream lines(stdout_text);
  std::string line;
  bool any = false;
  while (std::getline(lines, line)) {
    // Level rows start with the level number right-aligned in two columns and ':'.
    std::size_t i = 0;
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] >= '0' && line[j] <= '9') ++j;
    if (j == i || j >= line.size() || line[j] != ':') continue;
    std::istringstream fields(line.substr(j + 1));
    std::vector<std::string> tokens;
    std::string tok;
    while (fields >> tok) tokens.push_back(tok);
    // The phase name is absent on the level-0 row; Ck, Lk, Rk follow it.
    std::size_t first = 0;
    if (!tokens.empty() && !(tokens[0][0] >= '0' && tokens[0][0] <= '9')) first = 1;
    if (tokens.size() < first + 3) {
      *why = "unreadable progress row: " + line;
      return false;
    }
    char* end = nullptr;
    const long long rk = std::strtoll(tokens[first + 2].c_str(), &end, 10);
    if (*end != '\0') {
      *why = "unreadable Rk in progress row: " + line;
      return false;
    }
    *sum += rk;
    any = true;
  }
  if (!any) {
    *why = "no progress rows on stdout";
    return false;
  }
  return true;
}

std::string describe_difference(const std::vector<std::string>& expected,
                                const std::vector<std::string>& actual, std::size_t max_shown) {
  std::vector<std::string> missing, extra;
  std::size_t i = 0, j = 0;
  while (i < expected.size() || j < actual.size()) {
    if (j == actual.size() || (i < expected.size() && expected[i] < actual[j])) {
      missing.push_back(expected[i++]);
    } else if (i == expected.size() || actual[j] < expected[i]) {
      extra.push_back(actual[j++]);
    } else {
      ++i;
      ++j;
    }
  }
  if (missing.empty() && extra.empty()) return "";
  std::ostringstream s;
  s << "expected " << expected.size() << " lines, got " << actual.size() << "; "
    << missing.size() << " missing, " << extra.size() << " unexpected\n";
  for (std::size_t k = 0; k < missing.size() && k < max_shown; ++k)
    s << "  missing:    " << missing[k] << "\n";
  for (std::size_t k = 0; k < extra.size() && k < max_shown; ++k)
    s << "  unexpected: " << extra[k] << "\n";
  return s.str();
}

std::string judge_run(const RunOutcome& run, const std::vector<std::string>& expected,
                      std::size_t prefix_len) {
  std::ostringstream report;
  if (run.signal_number != 0) {
    report << "killed by signal " << run.signal_number << "\n";
  } else if (run.exit_status != 0) {
    report << "exit status " << run.exit_status << ", stderr: " << run.stderr_text << "\n";
  }
  if (!report.str().empty()) return report.str();

  const std::vector<std::string> actual = reference::normalise_output(run.output_text, prefix_len);
  report << describe_difference(expected, actual, 8);

  long long rk = 0;
  std::string why;
  if (!sum_written_column(run.stdout_text, &rk, &why)) {
    report << why << "\n";
  } else if (rk != static_cast<long long>(actual.size())) {
    report << "progress table Rk sums to " << rk << " but the output has " << actual.size()
           << " lines\n";
  }
  // "\n Total time: " closes a run whose engine ran; that run removes the file.
  if (run.stdout_text.find("\n Total time: ") != std::string::npos && run.temporary_left)
    report << "dataset.tmp left behind after a completed engine run\n";
  return report.str();
}

}  // namespace kestrel_test
