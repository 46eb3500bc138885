// SPDX-License-Identifier: Apache-2.0
// Diagnostics and the one way a run ends early. The report of an input
// error shows what the scanner hands over in a SourcePosition; nothing here
// knows the scanner.
#pragma once

#include <cstddef>
#include <string_view>

#include "rpc_token.h"

// Where an input error was found: the current line whole, how far it was
// read, its number, and the name of the input (none after a line marker
// with an empty name).
struct SourcePosition {
  std::string_view line;
  std::size_t scan_cursor = 0;
  long long line_number = 0;
  bool has_input_name = false;
  std::string_view input_name;
};

// What ends a run before its end: the exit status travels up to the driver,
// which returns it. Whatever a pass holds is let go on the way.
struct RunEnded {
  int status;
};

// Shows the current line, marks how far it was read, names the input and
// line, prints the message and ends the run with status 1.
[[noreturn]] void report_error(const SourcePosition &where, std::string_view message);
[[noreturn]] void report_expected1(const SourcePosition &where, TokenKind kind);
[[noreturn]] void report_expected2(const SourcePosition &where, TokenKind kind1, TokenKind kind2);
[[noreturn]] void report_expected3(const SourcePosition &where, TokenKind kind1, TokenKind kind2, TokenKind kind3);

// The first two lines of the report: the line, then a "^" under every
// column read.
void echo_line(std::string_view line);
void mark_scan_position(std::string_view line, std::size_t scan_cursor);

// Ends the run with status 1.
[[noreturn]] void fatal_exit();
// Ends the run with the given status.
[[noreturn]] void terminate_run(int status);
// Reports "name: reason" for the system error number, like perror.
void report_system_error(std::string_view name, int error_number);
// Tells that text could not be qualified, and goes on.
void report_internal_error(std::string_view text);
