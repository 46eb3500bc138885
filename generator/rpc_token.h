// SPDX-License-Identifier: Apache-2.0
// Tokens: their kinds, and the one table that gives each kind its spelling.
// The scanner finds keywords in it, and the diagnostics name the kinds an
// "expected" message asks for from it.
#pragma once

#include <array>
#include <cstddef>
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

// The keywords are the kinds from Const to Version, and only those.
constexpr TokenKind first_keyword = TokenKind::Const;
constexpr TokenKind last_keyword = TokenKind::Version;

constexpr bool is_keyword(TokenKind kind) { return kind >= first_keyword && kind <= last_keyword; }

// One spelling per kind, by kind number: a keyword's spelling is the word
// itself, and the spelling is the name the "expected" messages give. Kinds
// with no spelling here (string constants, "<", ">", the end of the input)
// are shown as "??????": that is part of the diagnostics' format.
inline constexpr std::array<std::string_view, 38> token_spellings = {
    "identifier", "",       "(",       ")",    "{",     "}",       "[",        "]",     "",       "",
    "*",          ",",      "=",       ":",    ";",     "const",   "struct",   "union", "switch", "case",
    "default",    "enum",   "typedef", "int",  "short", "long",    "unsigned", "float", "double", "opaque",
    "char",       "string", "bool",    "void", "hyper", "program", "version",  "",
};

constexpr std::string_view spelling_of(TokenKind kind) { return token_spellings[static_cast<std::size_t>(kind)]; }

// The name of a kind in the "expected" messages.
constexpr std::string_view token_name(TokenKind kind) {
  const std::string_view spelling = spelling_of(kind);
  return spelling.empty() ? std::string_view("??????") : spelling;
}
