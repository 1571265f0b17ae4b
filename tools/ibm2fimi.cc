// ibm2fimi: converts a transaction file in the binary layout of the IBM
// synthetic data generator (per transaction: customer id, transaction id, item
// count n, then n items; all native int32) into FIMI text, one line per
// transaction. Usage: ibm2fimi <binary-in> <fimi-out>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "dataset/temp_dataset.h"
#include "tools/tool_main.h"
#include "util/error.h"

namespace {

int convert(const std::string& in_name, const std::string& out_name) {
  ibm_reader in(in_name);
  if (!in.is_open()) throw run_error(in_name + " could not be opened!");
  fimi_writer out(out_name);
  if (!out.is_open()) throw run_error(out_name + " could not be opened for writing!");
  std::vector<std::int32_t> items;
  while (in.read_next(items)) out.write_record(items);
  out.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: ibm2fimi <binary-in> <fimi-out>\n", stderr);
    return 1;
  }
  return exit_status_of<run_error>([&] { return convert(argv[1], argv[2]); });
}
