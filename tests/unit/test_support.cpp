#include "test_support.h"

#include <cstdio>

#include "rpc_main.h"
#include "rpc_util.h"

namespace {
void throw_run_ended(int status) { throw RunEnded{status}; }
}  // namespace

void start_input(const std::string &text) {
  reset_generator_state();
  exit_routine = throw_run_ended;
  std::FILE *stream = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  g_state.input_stream = stream;
  g_state.has_input_name = true;
  g_state.input_name = "test.x";
}
