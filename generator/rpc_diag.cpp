// SPDX-License-Identifier: Apache-2.0
// Diagnostics: the report of an input error, system errors, and the early
// end of a run.
#include "rpc_diag.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "rpc_text.h"

namespace {

// A tab at byte position i widens to 8 - (i mod 4) columns.
std::size_t tab_width(std::size_t i) { return 8 - (i % 4); }

void write_stderr(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }

}  // namespace

void echo_line(std::string_view line) {
  std::string echo;
  for (std::size_t i = 0; i < line.size(); i++) {
    if (line[i] == '\t')
      echo.append(tab_width(i), ' ');
    else
      echo.push_back(line[i]);
  }
  write_stderr(echo);
}

void mark_scan_position(std::string_view line, std::size_t scan_cursor) {
  std::string marks;
  const std::size_t end = std::min(scan_cursor, line.size());
  for (std::size_t i = 0; i < end; i++) marks.append(line[i] == '\t' ? tab_width(i) : 1, '^');
  marks.push_back('\n');
  write_stderr(marks);
}

void report_error(const SourcePosition &where, std::string_view message) {
  echo_line(where.line);
  mark_scan_position(where.line, where.scan_cursor);
  const std::string_view name = where.has_input_name ? where.input_name : std::string_view("<unknown>");
  std::string report = format_text("%s, line %d: ", {name, std::to_string(where.line_number)});
  report.append(message);
  report.push_back('\n');
  write_stderr(report);
  fatal_exit();
}

void report_expected1(const SourcePosition &where, TokenKind kind) {
  report_error(where, format_text("expected '%s'", {token_name(kind)}));
}

void report_expected2(const SourcePosition &where, TokenKind kind1, TokenKind kind2) {
  report_error(where, format_text("expected '%s' or '%s'", {token_name(kind1), token_name(kind2)}));
}

void report_expected3(const SourcePosition &where, TokenKind kind1, TokenKind kind2, TokenKind kind3) {
  report_error(where,
               format_text("expected '%s', '%s' or '%s'", {token_name(kind1), token_name(kind2), token_name(kind3)}));
}

void fatal_exit() { terminate_run(1); }

void terminate_run(int status) { throw RunEnded{status}; }

void report_system_error(std::string_view name, int error_number) {
  std::string line(name);
  line += ": ";
  line += std::strerror(error_number);
  line.push_back('\n');
  write_stderr(line);
}

// No line feed follows: that is part of the output format.
void report_internal_error(std::string_view text) { write_stderr(format_text("Internal error: %s", {text})); }
