// Token scanner. The current line is kept whole, so a line of any length
// counts once, its tokens are never split, and only its real first byte
// decides whether it is a line marker or a pass-through line.
//
// The input is read in large blocks; line_buffer views the current line
// inside the block, which holds whole lines (a line longer than the block
// grows it), so lines are never copied.
#include "rpc_scan.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "rpc_main.h"
#include "rpc_util.h"

namespace {

struct Keyword {
  TokenKind kind;
  std::string_view text;
};

// A keyword matches only as a whole word; the table order is the search
// order.
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

// Byte classes of the C locale, as a table: bytes above 127 belong to none
// of them whatever the locale says.
enum ByteClass : unsigned char { Space = 1, Digit = 2, Letter = 4, HexDigit = 8, WordByte = 16 };

constexpr std::array<unsigned char, 256> byte_classes = [] {
  std::array<unsigned char, 256> table{};
  for (int c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = Space;
  for (int c = '0'; c <= '9'; c++) table[c] = Digit | HexDigit | WordByte;
  for (int c = 'a'; c <= 'z'; c++) table[c] = Letter | WordByte;
  for (int c = 'A'; c <= 'Z'; c++) table[c] = Letter | WordByte;
  for (int c = 'a'; c <= 'f'; c++) table[c] |= HexDigit;
  for (int c = 'A'; c <= 'F'; c++) table[c] |= HexDigit;
  table['_'] = WordByte;
  return table;
}();

bool has_class(unsigned char c, unsigned char byte_class) { return (byte_classes[c] & byte_class) != 0; }

// The scan position inside the current line, held in locals while a token
// is scanned and stored back to scan_cursor before anything else looks.
struct Cursor {
  const unsigned char *line;
  std::size_t size;
  std::size_t pos;

  Cursor() { load(); }
  void load() {
    line = reinterpret_cast<const unsigned char *>(g_state.line_buffer.data());
    size = g_state.line_buffer.size();
    pos = g_state.scan_cursor;
  }
  void store() const { g_state.scan_cursor = pos; }
  bool at_end() const { return pos >= size; }
  // The byte at pos + ahead; 0 past the end of the line.
  unsigned char peek(std::size_t ahead = 0) const { return pos + ahead < size ? line[pos + ahead] : 0; }
  void skip_class(unsigned char byte_class) {
    while (pos < size && has_class(line[pos], byte_class)) pos++;
  }
  std::string_view text_from(std::size_t start) const {
    return std::string_view(reinterpret_cast<const char *>(line) + start, pos - start);
  }
};

// Makes the next line, line feed included, the current line. At the end of
// the input the last line stays current, for the diagnostics. NUL bytes are
// kept: they are bytes of the line like any other.
bool read_line() {
  InputBlock &block = g_state.input_block;
  std::size_t search_from = block.start;
  for (;;) {
    if (search_from < block.end) {
      const char *base = block.bytes.data();
      const void *newline = std::memchr(base + search_from, '\n', block.end - search_from);
      if (newline != nullptr) {
        std::size_t stop = static_cast<const char *>(newline) - base + 1;
        g_state.line_buffer = std::string_view(base + block.start, stop - block.start);
        block.start = stop;
        return true;
      }
      search_from = block.end;
    }
    if (block.at_end || g_state.input_stream == nullptr) break;
    // Keep the unfinished line at the front, grow the block when the line
    // fills it, and read more behind it.
    if (block.start > 0) {
      std::memmove(block.bytes.data(), block.bytes.data() + block.start, block.end - block.start);
      block.end -= block.start;
      search_from -= block.start;
      block.start = 0;
    }
    if (block.end == block.bytes.size()) block.bytes.resize(std::max(InputBlock::size, 2 * block.bytes.size()));
    std::size_t got = std::fread(block.bytes.data() + block.end, 1, block.bytes.size() - block.end,
                                 g_state.input_stream);
    if (got == 0) block.at_end = true;  // a read error counts as the end
    block.end += got;
  }
  if (block.start == block.end) return false;
  g_state.line_buffer = std::string_view(block.bytes.data() + block.start, block.end - block.start);
  block.start = block.end;
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

// string-constant = '"' { any byte but '"' } '"'   (on one line)
void scan_string_constant(Cursor &at, Token &token) {
  std::size_t start = at.pos;
  const void *close = std::memchr(at.line + start + 1, '"', at.size - start - 1);
  if (close == nullptr) {
    at.store();
    report_error("unterminated string constant");
  }
  at.pos = static_cast<const unsigned char *>(close) - at.line + 1;
  token.kind = TokenKind::StringConstant;
  token.text = at.text_from(start);
}

// number = "0x" { hex-digit } | ( "-" | digit ) { digit }
void scan_number(Cursor &at, Token &token) {
  std::size_t start = at.pos;
  if (at.peek() == '0' && at.peek(1) == 'x') {
    at.pos += 2;
    at.skip_class(HexDigit);
  } else {
    at.pos++;
    at.skip_class(Digit);
  }
  token.kind = TokenKind::Identifier;
  token.text = at.text_from(start);
}

// For each first letter, the keywords that begin with it, in table order.
constexpr std::size_t max_keywords_per_letter = 4;
constexpr auto keywords_by_letter = [] {
  std::array<std::array<int, max_keywords_per_letter>, 26> index{};
  for (auto &row : index) row.fill(-1);
  for (std::size_t k = 0; k < std::size(keyword_table); k++) {
    auto &row = index[keyword_table[k].text[0] - 'a'];
    std::size_t free = 0;
    while (row[free] >= 0) free++;  // a fifth keyword of one letter fails to compile
    row[free] = static_cast<int>(k);
  }
  return index;
}();

// The keyword a whole word spells, or Identifier.
TokenKind keyword_kind(std::string_view word) {
  if (word.size() < 3 || word.size() > 8 || word[0] < 'a' || word[0] > 'z') return TokenKind::Identifier;
  for (int k : keywords_by_letter[word[0] - 'a']) {
    if (k < 0) break;
    if (keyword_table[k].text == word) return keyword_table[k].kind;
  }
  return TokenKind::Identifier;
}

// word = keyword | ( letter | "_" ) { letter | digit | "_" }
void scan_word(Cursor &at, Token &token) {
  std::size_t start = at.pos;
  at.skip_class(WordByte);
  token.text = at.text_from(start);
  token.kind = keyword_kind(token.text);
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
bool skip_to_token(Cursor &at) {
  bool in_comment = false;
  for (;;) {
    if (at.at_end()) {
      at.store();
      if (!advance_line(in_comment)) return false;
      at.load();
      continue;
    }
    unsigned char c = at.line[at.pos];
    if (has_class(c, Space)) {
      at.skip_class(Space);
    } else if (in_comment) {
      // Only a "*" can end the comment: step to the next one on the line.
      const void *star = std::memchr(at.line + at.pos, '*', at.size - at.pos);
      if (star == nullptr) {
        at.pos = at.size;
      } else {
        at.pos = static_cast<const unsigned char *>(star) - at.line + 1;
        if (at.peek() == '/') {
          at.pos++;
          in_comment = false;
        }
      }
    } else if (c == '/' && at.peek(1) == '*' && at.pos + 1 < at.size) {
      at.pos += 2;
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
    token = g_state.pushed_back_token;
    return;
  }
  Cursor at;
  if (!skip_to_token(at)) {
    token.kind = TokenKind::EndOfInput;
    token.text = {};
    return;
  }
  unsigned char c = at.line[at.pos];
  if (has_class(c, Letter) || c == '_') {
    scan_word(at, token);
  } else if (c == '-' || has_class(c, Digit)) {
    scan_number(at, token);
  } else if (TokenKind kind = punctuation_kind(c); kind != TokenKind::EndOfInput) {
    at.pos++;
    token.kind = kind;
    token.text = {};
  } else if (c == '"') {
    scan_string_constant(at, token);
  } else {
    at.store();
    report_illegal_character(c);
  }
  at.store();
}

void unget_token(const Token &token) {
  g_state.pushed_back_token = token;
  g_state.has_pushed_back_token = true;
}

// line-marker = "#" [ sign ] digits [ '"' name '"' ] ...
// The next line counts as line n; an empty name leaves the input unnamed.
void handle_line_marker(std::string_view line) {
  auto at = [&](std::size_t k) -> unsigned char {
    return k < line.size() ? static_cast<unsigned char>(line[k]) : 0;
  };
  std::size_t i = 1;
  while (i < line.size() && has_class(at(i), Space)) i++;

  // An optional sign and the digits, saturated at the range of int.
  std::size_t j = i;
  bool negative = false;
  if (at(j) == '-' || at(j) == '+') negative = line[j++] == '-';
  long long n = 0;
  while (has_class(at(j), Digit)) {
    if (n <= INT_MAX) n = n * 10 + (at(j) - '0');
    j++;
  }
  n = std::min<long long>(n, INT_MAX);
  if (negative) n = -n;

  // The sign is not skipped, only the digits that stand right here.
  while (has_class(at(i), Digit)) i++;
  while (i < line.size() && has_class(at(i), Space)) i++;
  if (i < line.size()) i++;  // normally the opening quote of the name
  std::size_t end = std::min(line.find('"', i), line.size());
  std::string_view name = line.substr(i, end - i);
  g_state.has_input_name = !name.empty();
  g_state.input_name.assign(name);
  g_state.line_number = n - 1;
}

// The line without its "%"; a second "%" becomes "#", and a carriage return
// right before the line feed is dropped. The first byte is taken before the
// carriage return is looked for, so "%\r\n" yields a lone carriage return.
void handle_pass_through_line(std::string_view line) {
  std::string_view rest = line.substr(1);
  if (rest.empty()) return;
  char first = rest[0] == '%' ? '#' : rest[0];
  bool crlf = false;
  std::size_t cr = rest.find('\r');
  if (cr != std::string_view::npos && cr + 1 < rest.size() && rest[cr + 1] == '\n') {
    rest = rest.substr(0, cr);
    crlf = true;
  }
  // When the carriage return is the first byte, that byte was already
  // taken: nothing follows it, not even the line feed.
  std::string &text = g_state.pass_through_text;
  text.push_back(first);
  if (!rest.empty()) text.append(rest.substr(1));
  if (crlf && cr > 0) text.push_back('\n');
}
