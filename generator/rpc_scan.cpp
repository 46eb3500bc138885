// Token scanner. The current line is kept whole in line_buffer, so a line of
// any length counts once, its tokens are never split, and only its real first
// byte decides whether it is a line marker or a pass-through line.
#include "rpc_scan.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>

#include "rpc_main.h"
#include "rpc_util.h"

namespace {

struct Keyword {
  TokenKind kind;
  std::string_view text;
};

// Searched in this order; the first keyword that the input spells out as a
// whole word wins.
constexpr Keyword keyword_table[] = {
    {TokenKind::Const, "const"},     {TokenKind::Union, "union"},     {TokenKind::Switch, "switch"},
    {TokenKind::Case, "case"},       {TokenKind::Default, "default"}, {TokenKind::Struct, "struct"},
    {TokenKind::Typedef, "typedef"}, {TokenKind::Enum, "enum"},       {TokenKind::Opaque, "opaque"},
    {TokenKind::Bool, "bool"},       {TokenKind::Void, "void"},       {TokenKind::Char, "char"},
    {TokenKind::Int, "int"},         {TokenKind::Unsigned, "unsigned"}, {TokenKind::Short, "short"},
    {TokenKind::Long, "long"},       {TokenKind::Hyper, "hyper"},     {TokenKind::Float, "float"},
    {TokenKind::Double, "double"},   {TokenKind::String, "string"},   {TokenKind::Program, "program"},
    {TokenKind::Version, "version"},
};

// Byte classes of the C locale, spelled out so that bytes above 127 belong
// to none of them whatever the locale says.
bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_alpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_hex_digit(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_word_byte(unsigned char c) { return is_alpha(c) || is_digit(c) || c == '_'; }

unsigned char byte_at(std::size_t i) {
  const std::string &line = g_state.line_buffer;
  return i < line.size() ? static_cast<unsigned char>(line[i]) : 0;
}

bool at_line_end() { return g_state.scan_cursor >= g_state.line_buffer.size(); }

// Reads the next line, line feed included, into line_buffer. NUL bytes are
// kept: they are bytes of the line like any other.
bool read_line() {
  std::FILE *in = g_state.input_stream;
  if (in == nullptr) return false;
  std::string line;
  int c;
  while ((c = getc_unlocked(in)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (line.empty()) return false;
  g_state.line_buffer.swap(line);
  return true;
}

// Reads lines until one that holds tokens becomes current. Special lines are
// consumed on the way, except inside a comment. Returns false at the end of
// the input.
bool advance_line(bool in_comment) {
  for (;;) {
    if (g_state.at_end_of_input || !read_line()) {
      g_state.at_end_of_input = true;
      g_state.scan_cursor = g_state.line_buffer.size();
      return false;
    }
    g_state.line_number++;
    g_state.scan_cursor = 0;
    char first = g_state.line_buffer[0];
    if (!in_comment && first == '#') {
      handle_line_marker(g_state.line_buffer);
    } else if (!in_comment && first == '%') {
      handle_pass_through_line(g_state.line_buffer);
    } else {
      return true;
    }
    g_state.scan_cursor = g_state.line_buffer.size();
  }
}

std::string take_text(std::size_t start) {
  return g_state.line_buffer.substr(start, g_state.scan_cursor - start);
}

// string-constant = '"' { any byte but '"' } '"'   (on one line)
void scan_string_constant(Token &token) {
  std::size_t start = g_state.scan_cursor;
  std::size_t close = g_state.line_buffer.find('"', start + 1);
  if (close == std::string::npos) report_error("unterminated string constant");
  g_state.scan_cursor = close + 1;
  token.kind = TokenKind::StringConstant;
  token.text = take_text(start);
}

// number = "0x" { hex-digit } | ( "-" | digit ) { digit }
void scan_number(Token &token) {
  std::size_t start = g_state.scan_cursor;
  std::size_t i = start;
  if (byte_at(i) == '0' && byte_at(i + 1) == 'x') {
    i += 2;
    while (is_hex_digit(byte_at(i))) i++;
  } else {
    i++;
    while (is_digit(byte_at(i))) i++;
  }
  g_state.scan_cursor = i;
  token.kind = TokenKind::Identifier;
  token.text = take_text(start);
}

// word = keyword | ( letter | "_" ) { letter | digit | "_" }
void scan_word(Token &token) {
  std::string_view rest(g_state.line_buffer);
  rest.remove_prefix(g_state.scan_cursor);
  for (const Keyword &keyword : keyword_table) {
    if (rest.substr(0, keyword.text.size()) == keyword.text &&
        !is_word_byte(byte_at(g_state.scan_cursor + keyword.text.size()))) {
      g_state.scan_cursor += keyword.text.size();
      token.kind = keyword.kind;
      token.text = std::string(keyword.text);
      return;
    }
  }
  std::size_t start = g_state.scan_cursor;
  std::size_t i = start;
  while (is_word_byte(byte_at(i))) i++;
  g_state.scan_cursor = i;
  token.kind = TokenKind::Identifier;
  token.text = take_text(start);
}

TokenKind punctuation_kind(unsigned char c) {
  switch (c) {
    case '(': return TokenKind::LeftParen;
    case ')': return TokenKind::RightParen;
    case '{': return TokenKind::LeftBrace;
    case '}': return TokenKind::RightBrace;
    case '[': return TokenKind::LeftBracket;
    case ']': return TokenKind::RightBracket;
    case '<': return TokenKind::LeftAngle;
    case '>': return TokenKind::RightAngle;
    case '*': return TokenKind::Star;
    case ',': return TokenKind::Comma;
    case '=': return TokenKind::Equal;
    case ':': return TokenKind::Colon;
    case ';': return TokenKind::Semicolon;
    default: return TokenKind::EndOfInput;
  }
}

// Printable bytes are shown as themselves, all others as a signed byte value.
[[noreturn]] void report_illegal_character(unsigned char c) {
  std::string message = "illegal character in file: ";
  if (c >= 33 && c <= 126)
    message.push_back(static_cast<char>(c));
  else
    message += std::to_string(static_cast<int>(static_cast<signed char>(c)));
  report_error(message);
}

// Skips whitespace and comments; returns false at the end of the input.
// A comment never outlasts one call, and an end of input inside it simply
// ends the input.
bool skip_to_token() {
  bool in_comment = false;
  for (;;) {
    if (at_line_end()) {
      if (!advance_line(in_comment)) return false;
      continue;
    }
    unsigned char c = byte_at(g_state.scan_cursor);
    if (is_space(c)) {
      while (!at_line_end() && is_space(byte_at(g_state.scan_cursor))) g_state.scan_cursor++;
    } else if (in_comment) {
      g_state.scan_cursor++;
      if (c == '*' && byte_at(g_state.scan_cursor) == '/' && !at_line_end()) {
        g_state.scan_cursor++;
        in_comment = false;
      }
    } else if (c == '/' && byte_at(g_state.scan_cursor + 1) == '*' &&
               g_state.scan_cursor + 1 < g_state.line_buffer.size()) {
      g_state.scan_cursor += 2;
      in_comment = true;
    } else {
      return true;
    }
  }
}

}  // namespace

void get_token(Token &token) {
  if (g_state.has_pushed_back_token) {
    g_state.has_pushed_back_token = false;
    token = std::move(g_state.pushed_back_token);
    return;
  }
  if (!skip_to_token()) {
    token.kind = TokenKind::EndOfInput;
    token.text.clear();
    return;
  }
  unsigned char c = byte_at(g_state.scan_cursor);
  if (c == '"') {
    scan_string_constant(token);
  } else if (c == '-' || is_digit(c)) {
    scan_number(token);
  } else if (TokenKind kind = punctuation_kind(c); kind != TokenKind::EndOfInput) {
    g_state.scan_cursor++;
    token.kind = kind;
    token.text.clear();
  } else if (is_alpha(c) || c == '_') {
    scan_word(token);
  } else {
    report_illegal_character(c);
  }
}

void unget_token(const Token &token) {
  g_state.pushed_back_token = token;
  g_state.has_pushed_back_token = true;
}

// line-marker = "#" [ sign ] digits [ '"' name '"' ] ...
// The next line counts as line n; an empty name leaves the input unnamed.
void handle_line_marker(const std::string &line) {
  std::size_t i = 1;
  auto at = [&](std::size_t k) -> unsigned char {
    return k < line.size() ? static_cast<unsigned char>(line[k]) : 0;
  };
  while (i < line.size() && is_space(at(i))) i++;

  // An optional sign and the digits, saturated at the range of int.
  std::size_t j = i;
  bool negative = false;
  if (at(j) == '-' || at(j) == '+') negative = line[j++] == '-';
  long long n = 0;
  while (is_digit(at(j))) {
    if (n <= INT_MAX) n = n * 10 + (at(j) - '0');
    j++;
  }
  if (n > INT_MAX) n = INT_MAX;
  if (negative) n = -n;

  // The sign is not skipped, only the digits that stand right here.
  while (is_digit(at(i))) i++;
  while (i < line.size() && is_space(at(i))) i++;
  if (i < line.size()) i++;  // normally the opening quote of the name
  std::size_t end = line.find('"', i);
  if (end == std::string::npos) end = line.size();
  std::string name = line.substr(std::min(i, line.size()), end - std::min(i, line.size()));
  g_state.has_input_name = !name.empty();
  g_state.input_name = std::move(name);
  g_state.line_number = n - 1;
}

// The line without its "%"; a second "%" becomes "#", and a carriage return
// right before the line feed is dropped. The first byte is taken before the
// carriage return is looked for, so "%\r\n" yields a lone carriage return.
void handle_pass_through_line(const std::string &line) {
  std::string rest = line.substr(1);
  if (rest.empty()) return;
  char first = rest[0] == '%' ? '#' : rest[0];
  std::size_t cr = rest.find('\r');
  if (cr != std::string::npos && cr + 1 < rest.size() && rest[cr + 1] == '\n') {
    rest[cr] = '\n';
    rest.resize(cr + 1);
  }
  g_state.pass_through_text.push_back(first);
  g_state.pass_through_text.append(rest, 1, std::string::npos);
}
