// SPDX-License-Identifier: Apache-2.0
// The driver of vorlith: the command line, the sequence of passes, and the
// opening and resetting of the input of each pass.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "rpc_dispatch.h"
#include "rpc_hout.h"
#include "rpc_input.h"
#include "rpc_scan.h"

// Options that parse_command_line fills.
struct CommandOptions {
  bool c_flag = false;
  bool h_flag = false;
  bool l_flag = false;
  bool s_flag = false;
  bool m_flag = false;
  bool preprocess_flag = false;  // -p
  bool name_case_flag = true;    // false with -i: forms names in the other case
  bool has_input_file = false;
  std::string input_file;
  bool has_output_file = false;
  std::string output_file;
  bool has_output_dir = false;  // --output-dir
  std::string output_dir;
  bool has_package = false;  // --package
  std::string package_name;
  bool quiet_flag = false;    // --quiet: no banner, no echoed commands, no file lists
  bool async_flag = false;  // --async: future-returning client methods too
  bool idiomatic_flag = false;  // --idiomatic: the idiomatic Java output (rpc_jout_*)
  bool help_flag = false;     // --help: print the help and stop
  bool version_flag = false;  // --version: print the version and stop
};

// What a run is told before it starts: its name, its command line and the
// preprocessor command from the environment.
struct RunSettings {
  std::string program_name;
  CommandOptions options;
  std::string preprocessor_path = "/lib/cpp";
  std::string preprocessor_flag = "-C";
  std::size_t input_piece_size = InputText::default_piece_size;  // bytes the input is read in at a time
};

// The input of one pass: the stream the scanner reads and the preprocessor's
// temporary file. reset_pass closes and removes them; so does letting go of
// it, when a run ends early.
struct PassInput {
  PassInput() = default;
  PassInput(const PassInput &) = delete;
  PassInput &operator=(const PassInput &) = delete;
  ~PassInput();

  std::FILE *stream = nullptr;
  std::string temp_file_name;  // empty: no temporary file this pass
};

extern const char *const version_text;
extern const char *const notice_text;

// The text every generated file begins with.
std::string file_header_text();

// Runs vorlith with its command line and returns its exit status.
// input_piece_size is how much of the input is read at a time.
int vorlith_main(int argc, char **argv, std::size_t input_piece_size = InputText::default_piece_size);

// Fills options from the command line and tells whether it is valid.
// --help and --version end the scan where they stand: the line is valid,
// and what follows them is not looked at.
bool parse_command_line(int argc, char **argv, CommandOptions &options);
// What --help prints: the usage lines, then every option.
std::string help_text(const std::string &program_name);
// Opens the input of a pass (run through the preprocessor with define_word
// when asked) and starts the scanner on it.
void open_input(PassInput &input, Scanner &scanner, const RunSettings &settings, const std::string &define_word);
// One pass over the input: every Definition goes to the dispatcher, then
// the pass's file list is printed and the pass reset. memory is the
// parser's, kept from pass to pass for its room only.
void run_pass(PassMode mode, const std::string &define_word, const RunSettings &settings, Scanner &scanner,
              DefinitionMemory &memory, JavaOutput &out, PassHandover &handover);
void reset_pass(PassInput &input, Scanner &scanner, JavaOutput &out);
