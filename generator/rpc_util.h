// Diagnostics, the one exit path, and the naming helpers shared by the
// writers of Java text.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "rpc_scan.h"

// Shows the current line, marks how far it was read, names the input and
// line, prints the message and ends the run with status 1.
[[noreturn]] void report_error(std::string_view message);
[[noreturn]] void report_expected1(TokenKind kind);
[[noreturn]] void report_expected2(TokenKind kind1, TokenKind kind2);
[[noreturn]] void report_expected3(TokenKind kind1, TokenKind kind2, TokenKind kind3);
const char *token_name(TokenKind kind);

void echo_line();
void mark_scan_position();

// Ends the run with status 1.
[[noreturn]] void fatal_exit();
// Ends the run with the given status: removes the pass's temporary file and
// leaves through exit_routine.
[[noreturn]] void terminate_run(int status);
// Reports "name: reason" for the system error number, like perror.
void report_system_error(std::string_view name, int error_number);

// How the run ends. The program leaves through std::exit so that buffered
// output is flushed; the fuzz target installs a routine that throws instead.
using ExitRoutine = void (*)(int status);
extern ExitRoutine exit_routine;

// Fills the "%s" and "%d" places of a fixed format with the arguments, in
// order; "%%" gives "%". Arguments are data and never read as formats.
std::string format_text(std::string_view format, std::initializer_list<std::string_view> args);
// The same, appended to out.
void append_format(std::string &out, std::string_view format, std::initializer_list<std::string_view> args);

// Name helpers for Java class, method and constant names.
std::string lower_case(std::string_view name);
std::string form_name(std::string_view name, const std::string_view *version);
