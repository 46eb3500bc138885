// SPDX-License-Identifier: Apache-2.0
// Scanner: token boundaries, special lines, and the lexical errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "rpc_scan.h"
#include "test_support.h"

namespace {

using Tokens = std::vector<std::pair<TokenKind, std::string>>;

// Every token up to the end of the input, with the text of word-like ones;
// scanner is left as the end of the input leaves it.
Tokens scan_all(const std::string &text, Scanner &scanner) {
  TestInput input(scanner, text);
  Tokens tokens;
  Token token;
  for (;;) {
    get_token(scanner, token);
    if (token.kind == TokenKind::EndOfInput) break;
    bool has_text = token.kind == TokenKind::Identifier || token.kind == TokenKind::StringConstant;
    tokens.emplace_back(token.kind, has_text ? token.text : std::string());
  }
  return tokens;
}

Tokens scan_all(const std::string &text) {
  Scanner scanner;
  return scan_all(text, scanner);
}

std::string scan_error(const std::string &text) {
  Scanner scanner;
  TestInput input(scanner, text);
  std::string error_output;
  int status = expect_run_end(
      [&] {
        Token token;
        do get_token(scanner, token);
        while (token.kind != TokenKind::EndOfInput);
      },
      error_output);
  EXPECT_EQ(status, 1);
  return error_output;
}

constexpr TokenKind Id = TokenKind::Identifier;

TEST(Scanner, KeywordsNeedAWholeWordAndMatchCase) {
  Tokens expected = {{Id, "integer"}, {Id, "int_x"}, {TokenKind::Int, ""}, {TokenKind::Star, ""},
                     {Id, "Int"},     {TokenKind::Int, ""}, {TokenKind::Unsigned, ""}, {Id, "_hyper2"}};
  EXPECT_EQ(scan_all("integer int_x int* Int int\nunsigned _hyper2"), expected);
}

// Words that share a keyword's length, first and last letter but not the
// letters between are names; every keyword is found whatever its neighbours.
TEST(Scanner, KeywordLookalikes) {
  Tokens expected = {{Id, "strict"}, {Id, "cane"},    {Id, "chas"},     {Id, "vesion"},  {Id, "unsigneD"},
                     {Id, "constt"}, {Id, "hyper_"},  {Id, "in"},       {Id, "unsignedx"}};
  EXPECT_EQ(scan_all("strict cane chas vesion unsigneD constt hyper_ in unsignedx"), expected);
  const char *all = "const union switch case default struct typedef enum opaque bool void char int "
                    "unsigned short long hyper float double string program version";
  Tokens keywords = scan_all(all);
  const TokenKind kinds[] = {TokenKind::Const,  TokenKind::Union,   TokenKind::Switch,  TokenKind::Case,
                             TokenKind::Default, TokenKind::Struct, TokenKind::Typedef, TokenKind::Enum,
                             TokenKind::Opaque, TokenKind::Bool,    TokenKind::Void,    TokenKind::Char,
                             TokenKind::Int,    TokenKind::Unsigned, TokenKind::Short,  TokenKind::Long,
                             TokenKind::Hyper,  TokenKind::Float,   TokenKind::Double,  TokenKind::String,
                             TokenKind::Program, TokenKind::Version};
  ASSERT_EQ(keywords.size(), std::size(kinds));
  for (std::size_t i = 0; i < keywords.size(); i++) EXPECT_EQ(keywords[i].first, kinds[i]) << i;
}

// Words are scanned up to sixteen bytes at a time: whatever the byte after
// a word and wherever it falls in a group, the word must end exactly before
// the first byte that is no letter, digit or "_", and a word may end the
// input.
TEST(Scanner, WordsEndAtTheFirstOtherByte) {
  auto is_word_byte = [](int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  Token token;
  for (std::size_t length = 1; length <= 33; length++) {
    std::string word(length, 'w');
    word[0] = 'W';
    for (int c = 0; c < 256; c++) {
      Scanner scanner;
      TestInput input(scanner, word + static_cast<char>(c) + "z\n");
      get_token(scanner, token);
      const std::string expected = is_word_byte(c) ? word + static_cast<char>(c) + "z" : word;
      ASSERT_EQ(token.text, expected) << "length " << length << ", byte " << c;
    }
    Scanner scanner;
    TestInput input(scanner, word);
    get_token(scanner, token);
    EXPECT_EQ(token.text, word);
  }
}

TEST(Scanner, NumbersStopWhereTheirDigitsStop) {
  Tokens expected = {{Id, "-0"}, {Id, "x10"}, {Id, "0"},  {Id, "X10"}, {Id, "0x"},
                     {Id, "g"},  {Id, "12"},  {Id, "abc"}, {Id, "-"},  {Id, "0xfF"}};
  EXPECT_EQ(scan_all("-0x10 0X10 0xg 12abc - 0xfF"), expected);
}

TEST(Scanner, StringConstantsKeepQuotesAndHaveNoEscapes) {
  Tokens expected = {{TokenKind::StringConstant, "\"a\\\""}, {Id, "b"}, {TokenKind::StringConstant, "\"\""}};
  EXPECT_EQ(scan_all("\"a\\\"b\"\""), expected);
}

TEST(Scanner, CommentsSpanLinesAndHideSpecialLines) {
  Tokens expected = {{Id, "a"}, {Id, "b"}};
  Scanner scanner;
  EXPECT_EQ(scan_all("a /* one\n# 99 \"x\"\n% text\n/* still */ b /* to the end\n c */", scanner), expected);
  EXPECT_EQ(scanner.pass_through_text, "");
  EXPECT_EQ(scanner.input_name, "test.x");
}

// Comments are searched up to sixteen bytes at a time for "*" and line feeds:
// wherever the end falls, and whatever stars and bytes come before it, the
// token after the comment and the line count must be exact.
TEST(Scanner, CommentsEndWhereverTheirEndFalls) {
  Token token;
  for (std::size_t length = 0; length <= 33; length++) {
    for (const char *filler : {"x", "*", "\n", std::string_view("\0", 1).data()}) {
      std::string body;
      for (std::size_t k = 0; k < length; k++) body += *filler == '\0' ? '\0' : *filler;
      const std::string text = "/*" + body + "*/next";
      Scanner scanner;
      TestInput input(scanner, text);
      get_token(scanner, token);
      ASSERT_EQ(token.kind, Id) << "length " << length << ", filler " << int(*filler);
      ASSERT_EQ(token.text, "next") << "length " << length << ", filler " << int(*filler);
      const long long lines = *filler == '\n' ? static_cast<long long>(length) + 1 : 1;
      EXPECT_EQ(scanner.line_number, lines) << "length " << length;
    }
  }
  // A "*" or "/" alone does not end a comment; "*" then "/" across a line
  // break does not either; a comment may end at the last byte of the input.
  EXPECT_EQ(scan_all("/* * / *\n/ */ a /**/ b /***/ c /*/ */ d"), (Tokens{{Id, "a"}, {Id, "b"}, {Id, "c"}, {Id, "d"}}));
  EXPECT_EQ(scan_all("a /* the end */"), (Tokens{{Id, "a"}}));
}

// A comment that the input ends inside is an error where it began, not an
// end of input that drops what follows it, wherever the input runs out.
TEST(Scanner, UnclosedCommentIsAnErrorWhereItBegan) {
  EXPECT_EQ(scan_error("a /* no end *"), "a /* no end *^^\ntest.x, line 1: unterminated comment\n");
  EXPECT_EQ(scan_error("x\n\tb /* one\n# 9 \"y\"\n%z\nconst C = 1;\n"),
            "        b /* one\n^^^^^^^^^^\ntest.x, line 2: unterminated comment\n");
  EXPECT_EQ(scan_error("/*/\n"), "/*/\n\ntest.x, line 1: unterminated comment\n");
}
// A regular file is read a piece at a time, and only complete lines are
// scanned: wherever the pieces end (inside a word, a comment, a string, a
// special line, a run of line feeds, a line of many pieces), the tokens,
// their lines, the special lines and the diagnostics are those of the
// input read whole.
struct ScanRecord {
  std::vector<std::pair<std::string, long long>> tokens;
  std::string pass_through;
  std::string input_name;
  std::string error_output;
  bool operator==(const ScanRecord &) const = default;
};

ScanRecord scan_in_pieces(const std::string &text, std::size_t piece_size) {
  Scanner scanner;
  TestInput input(scanner, text);
  if (piece_size > 0) scanner.input.piece_size = piece_size;
  ScanRecord record;
  expect_run_end(
      [&] {
        Token token;
        for (get_token(scanner, token); token.kind != TokenKind::EndOfInput; get_token(scanner, token))
          record.tokens.emplace_back(std::string(token.text) + "/" + std::to_string(static_cast<int>(token.kind)),
                                     scanner.line_number);
      },
      record.error_output);
  record.pass_through = scanner.pass_through_text;
  record.input_name = scanner.input_name;
  return record;
}

TEST(Scanner, PiecesOfTheInputScanAsTheWhole) {
  const std::string long_word(150, 'w');
  const std::string inputs[] = {
      "const A = 1;\nstruct s { int a; unsigned long b<>; };\n",
      "a /* one\n# 99 \"x\"\n% text\n*/ b\n\n\n\nc /* open to the end\n d",
      "%%define X\r\n%plain\nint\n# 40 \"f.x\"\n%\nx y\n",
      long_word + " " + long_word + "\n" + long_word,
      "x\n\"a string\" y \"open\n",
      "ok\n  a 1.5 b\n",
      std::string("n\0m\n", 4) + "last line without a line feed",
  };
  for (const std::string &text : inputs) {
    const ScanRecord whole = scan_in_pieces(text, 0);
    for (std::size_t piece : {1, 2, 3, 5, 8, 17, 64}) {
      EXPECT_EQ(scan_in_pieces(text, piece), whole) << "piece " << piece << ", input " << text;
    }
  }
}

TEST(Scanner, EndOfInputRepeats) {
  Scanner scanner;
  TestInput input(scanner, "x");
  Token token;
  get_token(scanner, token);
  for (int i = 0; i < 3; i++) {
    get_token(scanner, token);
    EXPECT_EQ(token.kind, TokenKind::EndOfInput);
  }
}

TEST(Scanner, PushedBackTokenComesFirst) {
  Scanner scanner;
  TestInput input(scanner, "b");
  Token pushed{TokenKind::Identifier, "a"};
  unget_token(scanner, pushed);
  Token token;
  get_token(scanner, token);
  EXPECT_EQ(token.text, "a");
  get_token(scanner, token);
  EXPECT_EQ(token.text, "b");
}

TEST(Scanner, PeekLeavesTheTokenNext) {
  Scanner scanner;
  TestInput input(scanner, "alpha ; beta");
  EXPECT_EQ(peek_token_kind(scanner), Id);
  EXPECT_EQ(peek_token_kind(scanner), Id);  // still the same token
  Token token;
  get_token(scanner, token);
  EXPECT_EQ(token.text, "alpha");
  EXPECT_EQ(peek_token_kind(scanner), TokenKind::Semicolon);
  get_token(scanner, token);
  Token pushed{TokenKind::Star, {}};
  unget_token(scanner, pushed);
  EXPECT_EQ(peek_token_kind(scanner), TokenKind::Star);  // a pushed-back token is next
  get_token(scanner, token);
  get_token(scanner, token);
  EXPECT_EQ(token.text, "beta");
  EXPECT_EQ(peek_token_kind(scanner), TokenKind::EndOfInput);
}

TEST(Scanner, PassThroughLines) {
  Scanner scanner;
  scan_all("%%define X\r\n%plain\n%\r\n%a\rb\r\nint\n%", scanner);
  // Only a carriage return right before the line feed at the first one found counts.
  EXPECT_EQ(scanner.pass_through_text, "#define X\nplain\n\ra\rb\r\n");
}

// Every line counts once, whether it holds tokens, nothing, or the inside
// of a comment; a special line is found wherever it follows, but not inside
// a comment.
TEST(Scanner, LinesCountAndSpecialLinesFollowAnyLine) {
  Scanner scanner;
  TestInput input(scanner, "a\n\n\r\n b /* x\n#not\n%not */ c\n# 20 \"f.x\"\n%pass\nd\n\ne");
  std::vector<std::pair<std::string, long long>> seen;
  Token token;
  for (get_token(scanner, token); token.kind != TokenKind::EndOfInput; get_token(scanner, token))
    seen.emplace_back(token.text, scanner.line_number);
  const std::vector<std::pair<std::string, long long>> expected = {
      {"a", 1}, {"b", 4}, {"c", 6}, {"d", 21}, {"e", 23}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(scanner.pass_through_text, "pass\n");
  EXPECT_EQ(scanner.input_name, "f.x");
}

TEST(Scanner, LineMarkerSetsLineAndName) {
  Scanner scanner;
  TestInput input(scanner, "int\n# 10 \"geo.x\" 1 3\n\n  struct");
  Token token;
  get_token(scanner, token);
  EXPECT_EQ(scanner.line_number, 1);
  get_token(scanner, token);
  EXPECT_EQ(token.kind, TokenKind::Struct);
  EXPECT_EQ(scanner.line_number, 11);
  EXPECT_EQ(scanner.input_name, "geo.x");
}

TEST(Scanner, LineMarkerEdgeForms) {
  Scanner scanner;
  scan_all("# 5 \"\"\n", scanner);
  EXPECT_FALSE(scanner.has_input_name);
  scan_all("#line\nx", scanner);
  EXPECT_EQ(scanner.line_number, 2);  // no digits: no marker, the line just counts
  EXPECT_EQ(scanner.input_name, "test.x");
  scan_all("#define X 3\n#-\n# \"named\"\nx", scanner);
  EXPECT_EQ(scanner.line_number, 4);
  EXPECT_EQ(scanner.input_name, "test.x");
  scan_all("# 7 name\n", scanner);
  EXPECT_EQ(scanner.input_name, "ame\n");  // the skipped byte was not a quote
  scan_all("# 99999999999999999999 \"big\"\n", scanner);
  EXPECT_EQ(scanner.line_number, 2147483646);
}

TEST(Scanner, LongLineIsOneLine) {
  std::string name(5000, 'n');
  Scanner scanner;
  TestInput input(scanner, "const " + name + " = 1;\nint");
  Token token;
  get_token(scanner, token);
  get_token(scanner, token);
  EXPECT_EQ(token.text, name);
  do get_token(scanner, token);
  while (token.kind != TokenKind::Int);
  EXPECT_EQ(scanner.line_number, 2);
}

// Token texts view the input in place, and only asking for the next
// definition lets the scanner drop input: read as tokens alone, every text
// must still read right when the whole pass has been scanned.
TEST(Scanner, TokenTextsStayValidForThePass) {
  std::string text;
  std::vector<std::string> names;
  for (int i = 0; i < 3000; i++) {
    names.push_back("name_" + std::to_string(i));
    text += "/* line " + std::to_string(i) + " */ " + names.back() + (i % 7 == 0 ? " \"s\"\n" : "\n");
  }
  Scanner scanner;
  TestInput input(scanner, text);
  std::vector<std::string_view> seen;
  Token token;
  for (get_token(scanner, token); token.kind != TokenKind::EndOfInput; get_token(scanner, token)) {
    if (token.kind == TokenKind::Identifier) seen.push_back(token.text);
  }
  ASSERT_EQ(seen.size(), names.size());
  for (std::size_t i = 0; i < names.size(); i++) EXPECT_EQ(seen[i], names[i]);
  EXPECT_EQ(scanner.line_number, 3000);
}

// A stream that is not a regular file has no size to go by: its input grows
// as it is read, across the first 64 KiB and well beyond.
TEST(Scanner, InputFromAPipe) {
  std::string text = "/*" + std::string(200000, 'c') + "*/\nconst A = 1;\n" + std::string(70000, ' ') + "B\n";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = write(ends[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    close(ends[1]);
  });
  std::FILE *stream = fdopen(ends[0], "r");
  ASSERT_NE(stream, nullptr);
  Scanner scanner;
  start_scan(scanner, stream, "pipe");
  Tokens tokens;
  Token token;
  for (get_token(scanner, token); token.kind != TokenKind::EndOfInput; get_token(scanner, token))
    tokens.emplace_back(token.kind, token.kind == TokenKind::Identifier ? token.text : std::string());
  writer.join();
  std::fclose(stream);
  Tokens expected = {{TokenKind::Const, ""}, {Id, "A"}, {TokenKind::Equal, ""}, {Id, "1"},
                     {TokenKind::Semicolon, ""}, {Id, "B"}};
  EXPECT_EQ(tokens, expected);
  EXPECT_EQ(scanner.line_number, 3);
}

TEST(Scanner, LexicalErrors) {
  EXPECT_EQ(scan_error("a 1.5\n"), "a 1.5\n^^^\ntest.x, line 1: illegal character in file: .\n");
  // The report shows the current line alone, never the lines after it.
  EXPECT_EQ(scan_error("x\na 1.5 b\nnext line\n"), "a 1.5 b\n^^^\ntest.x, line 2: illegal character in file: .\n");
  EXPECT_EQ(scan_error("x\n\"open\n\"shut\"\n"), "\"open\n\ntest.x, line 2: unterminated string constant\n");
  EXPECT_EQ(scan_error("\t x \"open\n"),
            "         x \"open\n^^^^^^^^^^^\ntest.x, line 1: unterminated string constant\n");
  EXPECT_EQ(scan_error("a */"), "a */^^^\ntest.x, line 1: illegal character in file: /\n");
  // A "/" starts a comment only with a "*" right after it on the same line.
  EXPECT_EQ(scan_error("a /"), "a /^^\ntest.x, line 1: illegal character in file: /\n");
  EXPECT_EQ(scan_error("a /\n* b"), "a /\n^^\ntest.x, line 1: illegal character in file: /\n");
  EXPECT_EQ(scan_error(std::string("x\0y", 3)), std::string("x\0y", 3) + "^\ntest.x, line 1: illegal character in file: 0\n");
  EXPECT_EQ(scan_error("\x80"), "\x80\ntest.x, line 1: illegal character in file: -128\n");
  EXPECT_EQ(scan_error("\x7f"), "\x7f\ntest.x, line 1: illegal character in file: 127\n");
  EXPECT_EQ(scan_error("  %x"), "  %x^^\ntest.x, line 1: illegal character in file: %\n");
}

TEST(Scanner, TabsWidenByPosition) {
  // Tabs at byte positions 0..4 widen to 8, 7, 6, 5 and 8 columns.
  std::string expected = std::string(8 + 7 + 6 + 5 + 8, ' ') + "$\n" + std::string(34, '^') +
                         "\ntest.x, line 1: illegal character in file: $\n";
  EXPECT_EQ(scan_error("\t\t\t\t\t$\n"), expected);
}

}  // namespace
