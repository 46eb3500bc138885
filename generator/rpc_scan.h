// SPDX-License-Identifier: Apache-2.0
// The token scanner: cuts the input of a pass into tokens, and consumes the
// "#" line-marker lines and the "%" pass-through lines on the way.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "rpc_diag.h"
#include "rpc_input.h"
#include "rpc_token.h"

// The scanner's state. One Scanner may serve pass after pass: start_scan
// begins a pass, end_scan ends it, and the input storage stays between.
struct Scanner {
  InputText input;

  bool has_input_name = false;  // a line marker with an empty name clears it
  std::string input_name;

  // Position: the current line whole (inside input), the next unread byte
  // in it, and its number.
  std::string_view line_buffer;
  std::size_t scan_cursor = 0;
  long long line_number = 0;
  bool at_end_of_input = false;

  bool has_pushed_back_token = false;
  Token pushed_back_token;

  std::string pass_through_text;  // "%" lines read so far in this pass

  // The last comment skipped, from "/*" to "*/", for the doc comments of
  // the idiomatic output; trailing: code stood before it on its line. It
  // views the input and is forgotten when used input is dropped.
  std::string_view last_comment;
  bool last_comment_trailing = false;
};

// Starts a pass over stream, an input called input_name.
void start_scan(Scanner &scanner, std::FILE *stream, std::string_view input_name);
// Ends the pass: forgets the position and releases the pass-through text.
void end_scan(Scanner &scanner);

// Fills token with the next token of the input; a lexical error ends the run.
void get_token(Scanner &scanner, Token &token);
// Pushes one token back; the next get_token returns it.
void unget_token(Scanner &scanner, const Token &token);
// The kind of the next token, which stays next: the same as taking it with
// get_token and pushing it back, without copying it out and in again.
TokenKind peek_token_kind(Scanner &scanner);

// Makes line_buffer the whole current line. The scanner finds the end of a
// line only when it needs it; a report shows the line whole.
void settle_line(Scanner &scanner);
// Where the scan stands, for a report of an input error.
SourcePosition source_position(Scanner &scanner);
// Reports an input error where the scan stands; the run ends.
[[noreturn, gnu::cold]] void report_error(Scanner &scanner, std::string_view message);

// Says that nothing views the input before the current line any more (the
// Definitions read so far are done with): the scanner may drop it.
void release_used_input(Scanner &scanner);

// The comment that documents the item whose first token starts at
// item_start: the last comment skipped, when it stood on lines of its own
// and only blanks and at most one line feed lie between its end and the
// item. Empty when there is none.
std::string_view leading_comment(const Scanner &scanner, const char *item_start);
// A comment that follows the last token read on the same line, after
// blanks and at most one "," or ";" (`int x; /* doc */`), without reading
// past it; empty when there is none, or when a token was pushed back.
std::string_view trailing_comment(Scanner &scanner);

// The special lines, given a whole line that starts with "#" or "%".
void handle_line_marker(Scanner &scanner, std::string_view line);
void handle_pass_through_line(Scanner &scanner, std::string_view line);
