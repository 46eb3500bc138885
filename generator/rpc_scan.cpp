// SPDX-License-Identifier: Apache-2.0
// Token scanner. The current line is kept whole, so a line of any length
// counts once, its tokens are never split, and only its real first byte
// decides whether it is a line marker or a pass-through line.
//
// The input of a pass is held as whole lines, read a piece at a time (a
// stream is read whole): line_buffer views the current line inside it, and
// token texts view their bytes there, so nothing is copied. Bytes move only
// between two definitions, when the lines already used are dropped.
#include "rpc_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

constexpr bool has_class(unsigned char c, unsigned char byte_class) { return (byte_classes[c] & byte_class) != 0; }

// What a byte starts, where the scanner looks for the next token.
enum class ByteAction : unsigned char { Illegal, Blank, LineEnd, Word, Number, Punctuation, Quote, Slash };

struct ByteTables {
  std::array<ByteAction, 256> action{};
  std::array<TokenKind, 256> punctuation{};
};

constexpr ByteTables byte_tables = [] {
  ByteTables t{};
  for (int c : {' ', '\t', '\v', '\f', '\r'}) t.action[c] = ByteAction::Blank;
  t.action['\n'] = ByteAction::LineEnd;
  for (int c = 0; c < 256; c++) {
    if (has_class(static_cast<unsigned char>(c), Letter)) t.action[c] = ByteAction::Word;
    if (has_class(static_cast<unsigned char>(c), Digit)) t.action[c] = ByteAction::Number;
  }
  t.action['_'] = ByteAction::Word;
  t.action['-'] = ByteAction::Number;
  t.action['"'] = ByteAction::Quote;
  t.action['/'] = ByteAction::Slash;
  const std::pair<char, TokenKind> marks[] = {
      {'(', TokenKind::LeftParen},  {')', TokenKind::RightParen},  {'{', TokenKind::LeftBrace},
      {'}', TokenKind::RightBrace}, {'[', TokenKind::LeftBracket}, {']', TokenKind::RightBracket},
      {'<', TokenKind::LeftAngle},  {'>', TokenKind::RightAngle},  {'*', TokenKind::Star},
      {',', TokenKind::Comma},      {'=', TokenKind::Equal},       {':', TokenKind::Colon},
      {';', TokenKind::Semicolon},
  };
  for (auto [c, kind] : marks) {
    t.action[static_cast<unsigned char>(c)] = ByteAction::Punctuation;
    t.punctuation[static_cast<unsigned char>(c)] = kind;
  }
  return t;
}();

// The scanner reads the current line through a pointer. The byte at the
// line's end is always readable: the next line's first byte, or the line
// feed kept after the input. So a line ends at a line feed, its own or that
// one, and a loop over a class of bytes without the line feed needs no bound.
//
// A new line is open: it runs to the end of the input until its end is
// needed. The token scan meets its line feed anyway and closes it there;
// only comments, string constants, special lines and diagnostics search.
const unsigned char *line_start(const Scanner &s) {
  return reinterpret_cast<const unsigned char *>(s.line_buffer.data());
}

// Closes the open current line at the line feed at `at`, or at the line
// feed kept after the input; the next line starts after it.
void end_line_at(Scanner &s, const unsigned char *at) {
  InputText &input = s.input;
  const char *base = input.bytes.get();
  const char *stop = reinterpret_cast<const char *>(at);
  if (stop < base + input.end) stop++;  // a line feed of the input belongs to its line
  const char *begin = s.line_buffer.data();
  s.line_buffer = std::string_view(begin, static_cast<std::size_t>(stop - begin));
  input.start = static_cast<std::size_t>(stop - base);
  input.line_open = false;
}

const unsigned char *line_limit(Scanner &s) {
  settle_line(s);
  return line_start(s) + s.line_buffer.size();
}

const unsigned char *skip_class(const unsigned char *at, unsigned char byte_class) {
  while (has_class(*at, byte_class)) at++;
  return at;
}

// Words and comments are searched sixteen bytes at a time where the
// processor has 16-byte vector compares, a byte at a time elsewhere. The
// tail kept after the input makes sixteen bytes readable from any byte of
// the input and from the line feed after it.
constexpr std::size_t group_size = 16;
static_assert(input_tail >= 1 + group_size, "the input keeps a group's bytes after its line feed");

#if defined(__SSE2__)
using ByteGroup = __m128i;

ByteGroup load_group(const unsigned char *at) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at)); }
ByteGroup every_byte(char value) { return _mm_set1_epi8(value); }

// All ones in each byte of x from low to high. Bytes above 127 compare as
// negative, so they are never in a range of ASCII bytes.
ByteGroup bytes_in_range(ByteGroup x, char low, char high) {
  return _mm_and_si128(_mm_cmpgt_epi8(x, every_byte(static_cast<char>(low - 1))),
                       _mm_cmplt_epi8(x, every_byte(static_cast<char>(high + 1))));
}

// A bit per byte of the group, set where the byte is not a letter, digit
// or "_". Setting bit 5 turns capitals into small letters and makes no other
// byte a letter.
unsigned non_word_bytes(const unsigned char *at) {
  const ByteGroup x = load_group(at);
  const ByteGroup letters = bytes_in_range(_mm_or_si128(x, every_byte(0x20)), 'a', 'z');
  const ByteGroup digits = bytes_in_range(x, '0', '9');
  const ByteGroup underscores = _mm_cmpeq_epi8(x, every_byte('_'));
  const ByteGroup word = _mm_or_si128(_mm_or_si128(letters, digits), underscores);
  return ~static_cast<unsigned>(_mm_movemask_epi8(word)) & 0xffff;
}

// A bit per byte of the group, set where the byte is "*" or a line feed.
unsigned stars_and_line_ends(const unsigned char *at) {
  const ByteGroup x = load_group(at);
  const ByteGroup found = _mm_or_si128(_mm_cmpeq_epi8(x, every_byte('*')), _mm_cmpeq_epi8(x, every_byte('\n')));
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}

const unsigned char *skip_word_bytes(const unsigned char *at) {
  for (;;) {
    if (const unsigned others = non_word_bytes(at)) return at + std::countr_zero(others);
    at += group_size;
  }
}

// The first "*" or line feed at or after at. The line's own line feed, or
// the one kept after the input, stops the search before it could read past
// the tail.
const unsigned char *find_star_or_line_end(const unsigned char *at) {
  for (;;) {
    if (const unsigned found = stars_and_line_ends(at)) return at + std::countr_zero(found);
    at += group_size;
  }
}
#else
const unsigned char *skip_word_bytes(const unsigned char *at) { return skip_class(at, WordByte); }

const unsigned char *find_star_or_line_end(const unsigned char *at) {
  while (*at != '*' && *at != '\n') at++;
  return at;
}
#endif

std::string_view text_between(const unsigned char *start, const unsigned char *end) {
  return std::string_view(reinterpret_cast<const char *>(start), static_cast<std::size_t>(end - start));
}

// Makes the next line the current one, open. At the end of the input the
// last line stays current, for the diagnostics. NUL bytes are kept: they are
// bytes of the line like any other.
bool read_line(Scanner &s) {
  InputText &input = s.input;
  if (!input.loaded) load_input(input);
  settle_line(s);
  if (input.start >= input.end && !load_more(input)) return false;
  s.line_buffer = std::string_view(input.bytes.get() + input.start, input.end - input.start);
  input.line_open = true;
  return true;
}

// Reads lines until one that holds tokens becomes current. Special lines are
// consumed on the way, except inside a comment. Returns false at the end of
// the input.
[[gnu::always_inline]] inline bool advance_line(Scanner &s, bool in_comment) {
  for (;;) {
    if (s.at_end_of_input || !read_line(s)) {
      s.at_end_of_input = true;
      settle_line(s);
      s.scan_cursor = s.line_buffer.size();
      return false;
    }
    s.line_number++;
    s.scan_cursor = 0;
    char first = s.line_buffer[0];
    if (in_comment || (first != '#' && first != '%')) return true;
    settle_line(s);
    if (first == '#')
      handle_line_marker(s, s.line_buffer);
    else
      handle_pass_through_line(s, s.line_buffer);
    s.scan_cursor = s.line_buffer.size();
  }
}

// Makes the line that starts at next, after a closed line, the current one
// and returns next, if it is an ordinary line: nearly every line is, and
// this step is much shorter than advance_line. Returns nullptr at the end of
// the input and before a special line; advance_line takes those.
const unsigned char *open_next_line(Scanner &s, const unsigned char *next, bool in_comment) {
  InputText &input = s.input;
  const char *line = reinterpret_cast<const char *>(next);
  const char *end = input.bytes.get() + input.end;
  if (line >= end || (!in_comment && (*line == '#' || *line == '%'))) return nullptr;
  s.line_buffer = std::string_view(line, static_cast<std::size_t>(end - line));
  input.line_open = true;
  s.line_number++;
  s.scan_cursor = 0;
  return next;
}

// string-constant = '"' { any byte but '"' } '"'   (on one line)
const unsigned char *scan_string_constant(Scanner &s, const unsigned char *start, Token &token) {
  const unsigned char *limit = line_limit(s);
  const void *close = std::memchr(start + 1, '"', static_cast<std::size_t>(limit - start - 1));
  if (close == nullptr) {
    s.scan_cursor = static_cast<std::size_t>(start - line_start(s));
    report_error(s, "unterminated string constant");
  }
  const unsigned char *end = static_cast<const unsigned char *>(close) + 1;
  token.kind = TokenKind::StringConstant;
  token.text = text_between(start, end);
  return end;
}

// number = "0x" { hex-digit } | ( "-" | digit ) { digit }
// The byte after the first is inside the line or the final line feed.
const unsigned char *scan_number(const unsigned char *start, Token &token) {
  const unsigned char *end =
      start[0] == '0' && start[1] == 'x' ? skip_class(start + 2, HexDigit) : skip_class(start + 1, Digit);
  token.kind = TokenKind::Identifier;
  token.text = text_between(start, end);
  return end;
}

// Every keyword is told apart from the others by its length, its first and
// its last letter: the table gives, for each such triple, the kind of the
// one keyword that has it, or -1. The keywords and their spellings come from
// the token table; two keywords sharing a triple fail to compile, and so
// does a keyword spelled with anything but small letters.
constexpr std::size_t shortest_keyword = 3, longest_keyword = 8;
using KeywordIndex = std::array<std::array<std::array<signed char, 26>, 26>, longest_keyword - shortest_keyword + 1>;
constexpr KeywordIndex keyword_index = [] {
  KeywordIndex index{};
  for (auto &by_first : index)
    for (auto &by_last : by_first) by_last.fill(-1);
  for (int k = static_cast<int>(first_keyword); k <= static_cast<int>(last_keyword); k++) {
    const std::string_view text = token_spellings[static_cast<std::size_t>(k)];
    if (text.size() < shortest_keyword || text.size() > longest_keyword) throw "keyword length out of range";
    for (char c : text)
      if (c < 'a' || c > 'z') throw "a keyword is spelled in small letters";
    signed char &slot = index[text.size() - shortest_keyword][text.front() - 'a'][text.back() - 'a'];
    if (slot >= 0) throw "two keywords share length, first and last letter";
    slot = static_cast<signed char>(k);
  }
  return index;
}();

bool is_lower_letter(char c) { return c >= 'a' && c <= 'z'; }

// The keyword a whole word spells, or Identifier. At most one keyword is
// compared, and only its inner letters.
TokenKind keyword_kind(std::string_view word) {
  const std::size_t size = word.size();
  if (size < shortest_keyword || size > longest_keyword || !is_lower_letter(word.front()) ||
      !is_lower_letter(word.back()))
    return TokenKind::Identifier;
  const int k = keyword_index[size - shortest_keyword][word.front() - 'a'][word.back() - 'a'];
  if (k < 0) return TokenKind::Identifier;
  const std::string_view text = token_spellings[static_cast<std::size_t>(k)];
  for (std::size_t i = 1; i + 1 < size; i++) {
    if (text[i] != word[i]) return TokenKind::Identifier;
  }
  return static_cast<TokenKind>(k);
}

// word = keyword | ( letter | "_" ) { letter | digit | "_" }
[[gnu::always_inline]] inline const unsigned char *scan_word(const unsigned char *start, Token &token) {
  const unsigned char *end = skip_word_bytes(start + 1);
  token.text = text_between(start, end);
  token.kind = keyword_kind(token.text);
  return end;
}

// Printable bytes are shown as themselves, all others as a signed byte value.
[[noreturn, gnu::cold, gnu::noinline]] void report_illegal_character(Scanner &s, const unsigned char *at) {
  s.scan_cursor = static_cast<std::size_t>(at - line_start(s));
  const unsigned char c = *at;
  std::string message = "illegal character in file: ";
  if (c >= 33 && c <= 126)
    message.push_back(static_cast<char>(c));
  else
    message += std::to_string(static_cast<int>(static_cast<signed char>(c)));
  report_error(s, message);
}

// A comment that the input ends inside would drop every definition after
// it: an error at the line and column where it began. Nothing of the
// input is dropped while a token is read, so that line is still held, at
// the same offset from the start of the input storage.
[[noreturn, gnu::cold]] void report_unclosed_comment(Scanner &s, std::size_t line_offset, std::size_t column,
                                                     long long line_number) {
  const InputText &input = s.input;
  const char *line = input.bytes.get() + line_offset;
  const std::size_t held = input.end - line_offset;
  const void *feed = std::memchr(line, '\n', held);
  const std::size_t length = feed == nullptr ? held : static_cast<std::size_t>(static_cast<const char *>(feed) - line) + 1;
  report_error(SourcePosition{std::string_view(line, length), column, line_number, s.has_input_name, s.input_name},
               "unterminated comment");
}

// Skips the rest of a comment whose text starts at at, over as many lines
// as it takes. Returns the byte after its end, or nullptr when the input
// ends inside it, which simply ends the input. Only a "*" can end the
// comment, and the byte after one is always readable: at worst it is the
// line feed.
const unsigned char *skip_comment(Scanner &s, const unsigned char *at) {
  for (;;) {
    at = find_star_or_line_end(at);
    if (*at == '*') {
      at++;
      if (*at == '/') return at + 1;
      continue;
    }
    end_line_at(s, at);
    at = open_next_line(s, at + 1, true);
    if (at == nullptr) {
      if (!advance_line(s, true)) return nullptr;
      at = line_start(s);
    }
  }
}

// Scans the next token of the input from at (nullptr: the line is used
// up): skips blanks, line ends and comments, then reads the token that
// starts there. Kept out of line so that taking the pushed-back token, half
// of all requests, and the common tokens of scan_token stay a few
// instructions.
[[gnu::noinline]] void scan_token_from(Scanner &s, Token &token, const unsigned char *at) {
  for (;;) {
    if (at == nullptr) {  // the line is used up
      if (!advance_line(s, false)) {
        token.kind = TokenKind::EndOfInput;
        token.text = {};
        return;
      }
      at = line_start(s);
    }
    while (byte_tables.action[*at] == ByteAction::Blank) at++;
    // Words, marks and line ends are nearly all there is: they are tested
    // first, one by one, which the processor predicts far better than one
    // jump through a table.
    const ByteAction action = byte_tables.action[*at];
    if (action == ByteAction::Word) {
      at = scan_word(at, token);
    } else if (action == ByteAction::Punctuation) {
      token.kind = byte_tables.punctuation[*at];
      token.text = {};
      at++;
    } else if (action == ByteAction::LineEnd) {
      end_line_at(s, at);
      at = open_next_line(s, at + 1, false);  // nullptr: advance_line decides
      continue;
    } else if (action == ByteAction::Number) {
      at = scan_number(at, token);
    } else if (action == ByteAction::Slash) {
      // The byte after a "/" is on its line or is the line feed.
      if (at[1] != '*') report_illegal_character(s, at);
      // Where the comment begins, for the report of a comment that never
      // ends.
      const std::size_t comment_line = static_cast<std::size_t>(reinterpret_cast<const char *>(line_start(s)) - s.input.bytes.get());
      const std::size_t comment_column = static_cast<std::size_t>(at - line_start(s));
      const long long comment_line_number = s.line_number;
      const unsigned char *comment_start = at;
      bool trailing = false;
      for (const unsigned char *before = line_start(s); before < comment_start && !trailing; before++)
        trailing = byte_tables.action[*before] != ByteAction::Blank;
      at = skip_comment(s, at + 2);
      if (at == nullptr) report_unclosed_comment(s, comment_line, comment_column, comment_line_number);
      s.last_comment = text_between(comment_start, at);
      s.last_comment_trailing = trailing;
      continue;
    } else if (action == ByteAction::Quote) {
      at = scan_string_constant(s, at, token);
    } else {
      report_illegal_character(s, at);
    }
    s.scan_cursor = static_cast<std::size_t>(at - line_start(s));
    return;
  }
}

// Scans the next token of the input. A word or a mark on the current line,
// most tokens, is read here; this path keeps so few values that it saves
// no registers. All else goes on in scan_token_from.
[[gnu::always_inline]] inline void scan_token(Scanner &s, Token &token) {
  // Before the first line of a pass, and at the end of the input, the
  // position is the end of the line.
  if (s.scan_cursor >= s.line_buffer.size()) return scan_token_from(s, token, nullptr);
  const unsigned char *at = line_start(s) + s.scan_cursor;
  while (byte_tables.action[*at] == ByteAction::Blank) at++;
  const ByteAction action = byte_tables.action[*at];
  if (action == ByteAction::Word) {
    at = scan_word(at, token);
  } else if (action == ByteAction::Punctuation) {
    token.kind = byte_tables.punctuation[*at];
    token.text = {};
    at++;
  } else {
    return scan_token_from(s, token, at);
  }
  s.scan_cursor = static_cast<std::size_t>(at - line_start(s));
}

}  // namespace

void settle_line(Scanner &s) {
  InputText &input = s.input;
  if (!input.line_open) return;
  const char *begin = s.line_buffer.data();
  const void *newline = std::memchr(begin, '\n', s.line_buffer.size());
  end_line_at(s, newline != nullptr ? static_cast<const unsigned char *>(newline)
                                    : reinterpret_cast<const unsigned char *>(begin + s.line_buffer.size()));
}

SourcePosition source_position(Scanner &s) {
  settle_line(s);
  return SourcePosition{s.line_buffer, s.scan_cursor, s.line_number, s.has_input_name, s.input_name};
}

// Out of line, so that the paths that report stay out of the scanner's hot
// code.
[[gnu::noinline]] void report_error(Scanner &s, std::string_view message) { report_error(source_position(s), message); }

std::string_view leading_comment(const Scanner &s, const char *item_start) {
  const std::string_view comment = s.last_comment;
  if (comment.empty() || s.last_comment_trailing || item_start == nullptr) return {};
  const char *base = s.input.bytes.get();
  const char *end = comment.data() + comment.size();
  if (comment.data() < base || end > item_start || item_start > base + s.input.end) return {};
  int line_feeds = 0;
  for (const char *at = end; at < item_start; at++) {
    const auto c = static_cast<unsigned char>(*at);
    if (c == '\n') {
      if (++line_feeds > 1) return {};
    } else if (byte_tables.action[c] != ByteAction::Blank) {
      return {};
    }
  }
  return comment;
}

std::string_view trailing_comment(Scanner &s) {
  if (s.has_pushed_back_token || s.line_buffer.data() == nullptr || s.scan_cursor >= s.line_buffer.size()) return {};
  // The current line ends at a line feed: its own, or the one kept after
  // the input.
  const char *at = s.line_buffer.data() + s.scan_cursor;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
  while (blank(*at)) at++;
  if (*at == ',' || *at == ';') at++;
  while (blank(*at)) at++;
  if (at[0] != '/' || at[1] != '*') return {};
  const char *start = at;
  for (at += 2; *at != '\n'; at++) {
    if (at[0] == '*' && at[1] == '/') return std::string_view(start, static_cast<std::size_t>(at + 2 - start));
  }
  return {};
}

void start_scan(Scanner &s, std::FILE *stream, std::string_view input_name) {
  end_scan(s);
  s.has_input_name = true;
  s.input_name.assign(input_name);
  forget_input(s.input, stream);
}

void end_scan(Scanner &s) {
  s.line_buffer = {};
  s.scan_cursor = 0;
  s.line_number = 0;
  s.at_end_of_input = false;
  s.has_pushed_back_token = false;
  s.last_comment = {};
  forget_input(s.input, nullptr);
  // Release what the pass held, not only its contents.
  std::string().swap(s.pass_through_text);
}

void release_used_input(Scanner &s) {
  const char *line = s.line_buffer.data();
  // Read whole, nothing more comes in; a pushed-back token still views its
  // bytes; before the first line there is nothing to drop.
  if (s.input.whole || s.has_pushed_back_token || line == nullptr) return;
  if (drop_used_input(s.input, static_cast<std::size_t>(line - s.input.bytes.get()))) {
    s.line_buffer = std::string_view(s.input.bytes.get(), s.line_buffer.size());
    s.last_comment = {};
  }
}

void get_token(Scanner &s, Token &token) {
  if (s.has_pushed_back_token) {
    s.has_pushed_back_token = false;
    token = s.pushed_back_token;
    return;
  }
  scan_token(s, token);
}

TokenKind peek_token_kind(Scanner &s) {
  if (!s.has_pushed_back_token) {
    scan_token(s, s.pushed_back_token);
    s.has_pushed_back_token = true;
  }
  return s.pushed_back_token.kind;
}

void unget_token(Scanner &s, const Token &token) {
  s.pushed_back_token = token;
  s.has_pushed_back_token = true;
}

// line-marker = "#" [ sign ] digits [ '"' name '"' ] ...
// The next line counts as line n; an empty name leaves the input unnamed.
// A "#" line without the digits is skipped and changes nothing.
void handle_line_marker(Scanner &s, std::string_view line) {
  auto at = [&](std::size_t k) -> unsigned char { return k < line.size() ? static_cast<unsigned char>(line[k]) : 0; };
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
  // Without a number it is no line marker but a directive (such as #define
  // in an input that did not go through the preprocessor): it is skipped
  // and counts as a line, and the input keeps its name and numbering.
  if (j == i || !has_class(at(j - 1), Digit)) return;

  // The sign is not skipped, only the digits that stand right here.
  while (has_class(at(i), Digit)) i++;
  while (i < line.size() && has_class(at(i), Space)) i++;
  if (i < line.size()) i++;  // normally the opening quote of the name
  std::size_t end = std::min(line.find('"', i), line.size());
  std::string_view name = line.substr(i, end - i);
  s.has_input_name = !name.empty();
  s.input_name.assign(name);
  s.line_number = n - 1;
}

// The line without its "%"; a second "%" becomes "#", and a carriage return
// right before the line feed is dropped. The first byte is taken before the
// carriage return is looked for, so "%\r\n" yields a lone carriage return.
void handle_pass_through_line(Scanner &s, std::string_view line) {
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
  std::string &text = s.pass_through_text;
  text.push_back(first);
  if (!rest.empty()) text.append(rest.substr(1));
  if (crlf && cr > 0) text.push_back('\n');
}
