// SPDX-License-Identifier: Apache-2.0
// bench_passes: times vorlith's scanner and parser alone, with nothing
// written and no other program's noise in between.
//
//   bench_passes INPUT [ROUNDS]
//
// Reads and scans INPUT ROUNDS times (default 200) in each of two ways, as
// one pass of vorlith does, and prints the best time of each:
//   "tokens=T best_ms=X"        get_token up to the end of the input
//   "definitions=D best_ms=Y"   get_definition up to the end of the input
// Both include opening and reading the input. The best of many rounds is
// steady to about 1 % on a shared machine, where a whole run of vorlith is
// not: it is the figure to compare changes of the scanner or the parser by.
// A syntax error in INPUT ends the program through vorlith's error path,
// with its status.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rpc_diag.h"
#include "rpc_hout.h"
#include "rpc_main.h"
#include "rpc_parse.h"
#include "rpc_scan.h"

namespace {

// One pass over the input; returns the number of items and sets seconds.
// The scanner and the output are kept from round to round, as a run keeps
// them from pass to pass.
template <typename Pass>
long time_pass(const RunSettings &settings, Scanner &scanner, JavaOutput &out, Pass pass, double &seconds) {
  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  PassInput input;
  open_input(input, scanner, settings, "");
  const long items = pass(scanner);
  reset_pass(input, scanner, out);
  seconds = std::chrono::duration<double>(clock::now() - start).count();
  return items;
}

long scan_tokens(Scanner &scanner) {
  long count = 0;
  Token token;
  for (get_token(scanner, token); token.kind != TokenKind::EndOfInput; get_token(scanner, token)) count++;
  return count;
}

long parse_definitions(Scanner &scanner) {
  Parser parser(scanner);
  long count = 0;
  while (get_definition(parser) != nullptr) count++;
  return count;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: bench_passes INPUT [ROUNDS]\n");
    return 2;
  }
  const std::string input = argv[1];
  const long rounds = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 200;
  if (rounds < 1) {
    std::fprintf(stderr, "bench_passes: ROUNDS must be a positive number\n");
    return 2;
  }
  RunSettings settings;
  settings.program_name = "bench_passes";
  settings.options.has_input_file = true;
  settings.options.input_file = input;
  Scanner scanner;
  JavaOutput out;

  struct Way {
    const char *name;
    long (*pass)(Scanner &);
  };
  try {
    for (const Way &way : {Way{"tokens", scan_tokens}, Way{"definitions", parse_definitions}}) {
      double best = 1e9, seconds = 0;
      long items = 0;
      for (long round = 0; round < rounds; round++) {
        items = time_pass(settings, scanner, out, way.pass, seconds);
        best = std::min(best, seconds);
      }
      std::printf("%s=%ld best_ms=%.3f\n", way.name, items, best * 1e3);
    }
  } catch (const RunEnded &ended) {
    return ended.status;
  }
  return 0;
}
