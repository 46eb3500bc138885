// The driver of vorlith: the process-wide state, the command line, the pass
// sequence, and the opening and resetting of the input of each pass.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "rpc_parse.h"
#include "rpc_scan.h"
#include "rpc_util.h"

// Which output a pass produces; dispatch_definition acts on it.
enum class PassMode { Client = 0, TypeClasses = 1, Server = 2, All = 3, Constants = 4, Interface = 5 };

// The input of a pass. A regular file is read a piece at a time, whenever
// the scanner has used up the complete lines held, into storage with room
// for the whole file, so that reading never moves bytes that tokens view.
// Between two definitions the lines already used are dropped and the rest
// moves to the front: a pass keeps reading into the same few pages. Any
// other input is read whole at the first line. What is held ends with
// complete lines and a line feed that no line includes, then a few spare
// bytes; the storage is kept for the next pass.
struct InputText {
  std::unique_ptr<char[]> bytes;  // not zero-filled: only bytes read or written are used
  std::size_t capacity = 0;
  std::size_t start = 0;     // first byte after the current line, once it is closed
  std::size_t end = 0;       // end of the complete lines held
  std::size_t read_end = 0;  // end of the bytes read: those from end on begin a line not read whole
  char byte_at_end = 0;      // the byte at end that the kept line feed covers, while read_end > end
  std::size_t piece_size = std::size_t{1} << 16;  // bytes read at a time
  bool whole = false;        // everything there is to read is held
  bool line_open = false;    // the current line's end is not looked for yet
  bool loaded = false;
};

// Everything vorlith keeps for the life of the process. Texts grow as needed.
struct GeneratorState {
  std::string program_name;
  std::string preprocessor_path = "/lib/cpp";
  std::string preprocessor_flag = "-C";
  PassMode pass_mode = PassMode::All;
  bool preprocess_flag = false;
  bool name_case_flag = true;  // false with -i: forms names in the other case

  // Input of the running pass.
  bool has_input_name = false;  // a line marker with an empty name clears it
  std::string input_name;
  std::FILE *input_stream = nullptr;
  InputText input_text;
  std::string temp_file_name;  // empty: no temporary file this pass

  // Output file being written, at most one at a time.
  int output_stream = -1;  // descriptor of the file being written, -1: none
  std::string output_file_name;
  TextBuffer output_text;  // the file's text, written out when it is closed

  // Scanner position: the current line whole, the next unread byte in it.
  std::string_view line_buffer;  // inside input_text
  std::size_t scan_cursor = 0;
  long long line_number = 0;
  bool at_end_of_input = false;
  bool has_pushed_back_token = false;
  Token pushed_back_token;
  Definition current_definition;  // the one get_definition hands over

  std::string constants_text;      // filled in the Constants pass, never emptied
  std::string pass_through_text;   // "%" lines read so far in this pass
  std::string generated_file_list; // "\t<name>\n" per file written this pass
  std::string file_header_text;
  std::string interface_name;      // base name of the last interface written
};

extern GeneratorState g_state;

// Options that parse_command_line fills for main.
struct CommandOptions {
  bool c_flag = false;
  bool h_flag = false;
  bool l_flag = false;
  bool s_flag = false;
  bool m_flag = false;
  bool has_input_file = false;
  std::string input_file;
  bool has_output_file = false;
  std::string output_file;
};

extern const char *const version_text;
extern const char *const notice_text;

// Runs vorlith with its command line and returns the exit status of a
// finished run; failures end the process through the exit path instead.
int vorlith_main(int argc, char **argv);

bool parse_command_line(int argc, char **argv, CommandOptions &options);
void open_input(const std::string *input_file, const std::string &define_word);
void run_pass(const std::string *input_file, const std::string &define_word);
void reset_pass();

// Puts the whole state back to its start values and closes any open stream;
// lets one process run the pipeline many times (the fuzz target does).
void reset_generator_state();
