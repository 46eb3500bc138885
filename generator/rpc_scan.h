// The token scanner: cuts the input of a pass into tokens, and consumes the
// "#" line-marker lines and the "%" pass-through lines on the way.
#pragma once

#include <string>
#include <string_view>

// Numbers share kind Identifier with identifiers.
enum class TokenKind {
  Identifier = 0,
  StringConstant = 1,
  LeftParen = 2,
  RightParen = 3,
  LeftBrace = 4,
  RightBrace = 5,
  LeftBracket = 6,
  RightBracket = 7,
  LeftAngle = 8,
  RightAngle = 9,
  Star = 10,
  Comma = 11,
  Equal = 12,
  Colon = 13,
  Semicolon = 14,
  Const = 15,
  Struct = 16,
  Union = 17,
  Switch = 18,
  Case = 19,
  Default = 20,
  Enum = 21,
  Typedef = 22,
  Int = 23,
  Short = 24,
  Long = 25,
  Unsigned = 26,
  Float = 27,
  Double = 28,
  Opaque = 29,
  Char = 30,
  String = 31,
  Bool = 32,
  Void = 33,
  Hyper = 34,
  Program = 35,
  Version = 36,
  EndOfInput = 37,
};

// The text views the input (or the keyword table). It stays valid until the
// next definition is asked for, when the input already used may be
// dropped: whoever keeps it longer copies it.
struct Token {
  TokenKind kind = TokenKind::EndOfInput;
  std::string_view text;  // identifiers, numbers, keywords, string constants (with quotes)
};

// Fills token with the next token of the input; a lexical error ends the run.
void get_token(Token &token);
// Pushes one token back; the next get_token returns it.
void unget_token(const Token &token);
// The kind of the next token, which stays next: the same as taking it with
// get_token and pushing it back, without copying it out and in again.
TokenKind peek_token_kind();
// Makes line_buffer the whole current line. The scanner finds the end of a
// line only when it needs it; the diagnostics call this before they show it.
void settle_line();

// Sets the input of a new pass to nothing read yet; its storage is kept.
void forget_input();
// Says that nothing views the input before the current line any more (the
// Definitions read so far are done with): the scanner may drop it.
void release_used_input();

// The special lines, given a whole line that starts with "#" or "%".
void handle_line_marker(std::string_view line);
void handle_pass_through_line(std::string_view line);
