// Diagnostics and naming helpers.
#include "rpc_util.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rpc_main.h"

namespace {

struct TokenName {
  TokenKind kind;
  const char *name;
};

// Display names for the "expected" messages, searched in this order. Kinds
// without an entry (string constants, "<", ">", the end of input) show as
// the end entry's "??????".
constexpr TokenName token_name_table[] = {
    {TokenKind::Identifier, "identifier"}, {TokenKind::Const, "const"},
    {TokenKind::RightParen, ")"},          {TokenKind::LeftParen, "("},
    {TokenKind::RightBrace, "}"},          {TokenKind::LeftBrace, "{"},
    {TokenKind::LeftBracket, "["},         {TokenKind::RightBracket, "]"},
    {TokenKind::Star, "*"},                {TokenKind::Comma, ","},
    {TokenKind::Equal, "="},               {TokenKind::Colon, ":"},
    {TokenKind::Semicolon, ";"},           {TokenKind::Union, "union"},
    {TokenKind::Struct, "struct"},         {TokenKind::Switch, "switch"},
    {TokenKind::Case, "case"},             {TokenKind::Default, "default"},
    {TokenKind::Enum, "enum"},             {TokenKind::Typedef, "typedef"},
    {TokenKind::Int, "int"},               {TokenKind::Short, "short"},
    {TokenKind::Long, "long"},             {TokenKind::Hyper, "hyper"},
    {TokenKind::Unsigned, "unsigned"},     {TokenKind::Double, "double"},
    {TokenKind::Float, "float"},           {TokenKind::Char, "char"},
    {TokenKind::String, "string"},         {TokenKind::Opaque, "opaque"},
    {TokenKind::Bool, "bool"},             {TokenKind::Void, "void"},
    {TokenKind::Program, "program"},       {TokenKind::Version, "version"},
    {TokenKind::EndOfInput, "??????"},
};

// A tab at byte position i widens to 8 - (i mod 4) columns.
std::size_t tab_width(std::size_t i) { return 8 - (i % 4); }

void default_exit(int status) { std::exit(status); }

}  // namespace

ExitRoutine exit_routine = default_exit;

const char *token_name(TokenKind kind) {
  for (const TokenName &entry : token_name_table) {
    if (entry.kind == kind || entry.kind == TokenKind::EndOfInput) return entry.name;
  }
  return "??????";
}

void echo_line() {
  std::string echo;
  const std::string_view line = g_state.line_buffer;
  for (std::size_t i = 0; i < line.size(); i++) {
    if (line[i] == '\t')
      echo.append(tab_width(i), ' ');
    else
      echo.push_back(line[i]);
  }
  std::fwrite(echo.data(), 1, echo.size(), stderr);
}

void mark_scan_position() {
  std::string marks;
  const std::string_view line = g_state.line_buffer;
  std::size_t end = std::min(g_state.scan_cursor, line.size());
  for (std::size_t i = 0; i < end; i++) marks.append(line[i] == '\t' ? tab_width(i) : 1, '^');
  marks.push_back('\n');
  std::fwrite(marks.data(), 1, marks.size(), stderr);
}

void report_error(std::string_view message) {
  settle_line();
  echo_line();
  mark_scan_position();
  const std::string &name = g_state.has_input_name ? g_state.input_name : std::string("<unknown>");
  std::string report = format_text("%s, line %d: ", {name, std::to_string(g_state.line_number)});
  report.append(message);
  report.push_back('\n');
  std::fwrite(report.data(), 1, report.size(), stderr);
  fatal_exit();
}

void report_expected1(TokenKind kind) { report_error(format_text("expected '%s'", {token_name(kind)})); }

void report_expected2(TokenKind kind1, TokenKind kind2) {
  report_error(format_text("expected '%s' or '%s'", {token_name(kind1), token_name(kind2)}));
}

void report_expected3(TokenKind kind1, TokenKind kind2, TokenKind kind3) {
  report_error(format_text("expected '%s', '%s' or '%s'",
                           {token_name(kind1), token_name(kind2), token_name(kind3)}));
}

void fatal_exit() { terminate_run(1); }

void terminate_run(int status) {
  if (!g_state.temp_file_name.empty()) {
    std::remove(g_state.temp_file_name.c_str());
    g_state.temp_file_name.clear();
  }
  exit_routine(status);
  std::abort();  // an exit routine that returns is a programming error
}

void report_system_error(std::string_view name, int error_number) {
  std::string line(name);
  line += ": ";
  line += std::strerror(error_number);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

namespace {

// Copies n bytes into room known to hold them and returns the end. Most
// pieces of generated text are a few bytes long, for which a call to memcpy
// costs more than the copy: those move as two fixed-size blocks that may
// overlap, and never touch a byte outside either text. Always inline: a
// call would cost what the short copies save.
[[gnu::always_inline]] inline char *copy_text(char *to, const char *from, std::size_t n) {
  if (n > 16) {
    // Blocks of 16, the last one ending at the end and perhaps overlapping
    // the one before.
    for (std::size_t i = 0; i + 16 < n; i += 16) std::memcpy(to + i, from + i, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
  return to + n;
}

// Room for the pieces and every argument of the format.
std::size_t format_room(const FormatText &format, std::initializer_list<std::string_view> args) {
  std::size_t room = format.literal_size;
  for (std::string_view arg : args) room += arg.size();
  return room;
}

// Writes the filled-in format at to, which has room for it; returns the end.
// Kept out of line: one copy of the loop serves every writer of text, and
// measured a little faster than a copy in each.
[[gnu::noinline]] char *fill_format(char *to, const FormatText &format, std::initializer_list<std::string_view> args) {
  auto next = args.begin();
  for (std::size_t k = 0; k < format.piece_count; k++) {
    const FormatText::Piece &piece = format.pieces[k];
    to = copy_text(to, format.text.data() + piece.start, piece.size);
    if (piece.takes_argument && next != args.end()) {
      to = copy_text(to, next->data(), next->size());
      ++next;
    }
  }
  return to;
}

}  // namespace

void append_format(std::string &out, const FormatText &format, std::initializer_list<std::string_view> args) {
  // Filled in place and cut to what was used: no reallocation.
  const std::size_t start = out.size();
  out.resize(start + format_room(format, args));
  char *end = fill_format(out.data() + start, format, args);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

std::string_view text_of(const TextBuffer &buffer) { return std::string_view(buffer.storage.data(), buffer.size); }

char *take_room(TextBuffer &buffer, std::size_t n) {
  if (buffer.storage.size() - buffer.size < n)
    buffer.storage.resize(std::max(2 * buffer.storage.size(), buffer.size + n));
  return buffer.storage.data() + buffer.size;
}

void append_text(TextBuffer &buffer, std::string_view text) {
  char *to = take_room(buffer, text.size());
  buffer.size = static_cast<std::size_t>(copy_text(to, text.data(), text.size()) - buffer.storage.data());
}

void append_tabs(TextBuffer &buffer, std::size_t count) {
  static constexpr std::string_view tabs = "\t\t\t\t\t\t\t\t";
  for (; count > tabs.size(); count -= tabs.size()) append_text(buffer, tabs);
  append_text(buffer, tabs.substr(0, count));
}

void append_format(TextBuffer &out, const FormatText &format, std::initializer_list<std::string_view> args) {
  char *to = take_room(out, format_room(format, args));
  out.size = static_cast<std::size_t>(fill_format(to, format, args) - out.storage.data());
}

std::string format_text(const FormatText &format, std::initializer_list<std::string_view> args) {
  std::string result;
  append_format(result, format, args);
  return result;
}

std::string lower_case(std::string_view name) {
  std::string result(name);
  for (char &c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return result;
}

// By default a name without version (or version "1") keeps its case and a
// versioned name is lower-cased; -i turns both the other way.
std::string form_name(std::string_view name, const std::string_view *version) {
  bool plain = version == nullptr || *version == "1";
  if (plain) return g_state.name_case_flag ? std::string(name) : lower_case(name);
  std::string base = g_state.name_case_flag ? lower_case(name) : std::string(name);
  return format_text("%s_%s", {base, *version});
}
