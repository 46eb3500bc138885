// Recursive-descent parser with one token of look-ahead. The grammar rule a
// function reads stands in the comment above it. There is no recovery: the
// first syntax error ends the run through report_error.
#include "rpc_parse.h"

#include "rpc_main.h"
#include "rpc_scan.h"
#include "rpc_util.h"

namespace {

void expect_token(TokenKind kind, Token &token) {
  get_token(token);
  if (token.kind != kind) report_expected1(kind);
}

void expect_token2(TokenKind kind1, TokenKind kind2, Token &token) {
  get_token(token);
  if (token.kind != kind1 && token.kind != kind2) report_expected2(kind1, kind2);
}

void expect_token3(TokenKind kind1, TokenKind kind2, TokenKind kind3, Token &token) {
  get_token(token);
  if (token.kind != kind1 && token.kind != kind2 && token.kind != kind3)
    report_expected3(kind1, kind2, kind3);
}

// An identifier or number where a value must stand.
void expect_constant(Token &token) {
  get_token(token);
  if (token.kind != TokenKind::Identifier) report_error("constant or identifier expected");
}

bool peek_and_take(TokenKind kind, Token &token) {
  if (peek_token_kind() != kind) return false;
  get_token(token);
  return true;
}

std::string_view expect_identifier(Token &token) {
  expect_token(TokenKind::Identifier, token);
  return token.text;
}

// unsigned-type = "unsigned" [ "int" | "short" ["int"] | "long" ["int"] | "char" | "hyper" ]
std::string_view parse_unsigned_type(Token &token) {
  switch (peek_token_kind()) {
    case TokenKind::Int:
      get_token(token);
      return "u_int";
    case TokenKind::Short:
      get_token(token);
      peek_and_take(TokenKind::Int, token);
      return "u_short";
    case TokenKind::Long:
      get_token(token);
      peek_and_take(TokenKind::Int, token);
      return "u_long";
    case TokenKind::Char:
      get_token(token);
      return "u_char";
    case TokenKind::Hyper:
      get_token(token);
      return "u_hyper";
    default:
      return "u_int";
  }
}

// type-specifier = identifier | ("struct" | "union" | "enum") identifier
//                | "int" | "float" | "double" | "opaque" | "char" | "string" | "bool" | "hyper"
//                | "short" ["int"] | "long" ["int"] | unsigned-type | "void"
// Returns the keyword the type begins with (Identifier for a name), which
// tells void, opaque and string apart without comparing texts.
TokenKind parse_type_specifier(std::string_view &prefix, std::string_view &type, DefinitionKind enclosing_kind,
                               Token &token) {
  prefix = {};
  get_token(token);
  const TokenKind kind = token.kind;
  switch (kind) {
    case TokenKind::Identifier:
      type = token.text;
      break;
    case TokenKind::Struct:
    case TokenKind::Union:
    case TokenKind::Enum:
      prefix = token.text;
      type = expect_identifier(token);
      break;
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Double:
    case TokenKind::Opaque:
    case TokenKind::Char:
    case TokenKind::String:
    case TokenKind::Bool:
    case TokenKind::Hyper:
      type = token.text;
      break;
    case TokenKind::Short:
    case TokenKind::Long:
      type = token.text;
      peek_and_take(TokenKind::Int, token);
      break;
    case TokenKind::Unsigned:
      type = parse_unsigned_type(token);
      break;
    case TokenKind::Void:
      if (enclosing_kind != DefinitionKind::Union && enclosing_kind != DefinitionKind::Program)
        report_error("voids allowed only inside union and program definitions");
      type = "void";
      break;
    default:
      report_error("expected type specifier");
  }
  return kind;
}

// declaration = type-specifier ( "void"
//             | [ "*" ] identifier [ "[" constant "]" | "<" [ constant ] ">" ] )
Declaration parse_declaration(DefinitionKind enclosing_kind, Token &token) {
  Declaration decl;
  const TokenKind type_kind = parse_type_specifier(decl.prefix, decl.type, enclosing_kind, token);
  decl.relation = Relation::Plain;
  if (type_kind == TokenKind::Void) return decl;

  expect_token2(TokenKind::Star, TokenKind::Identifier, token);
  if (token.kind == TokenKind::Star) {
    decl.relation = Relation::Pointer;
    expect_token(TokenKind::Identifier, token);
  }
  decl.name = token.text;

  // One look at the next token decides between the array forms.
  const TokenKind next = peek_token_kind();
  if (next == TokenKind::LeftBracket) {
    get_token(token);
    if (decl.relation == Relation::Pointer) report_error("no array-of-pointer declarations -- use typedef");
    decl.relation = Relation::FixedArray;
    expect_constant(token);
    decl.array_bound = token.text;
    expect_token(TokenKind::RightBracket, token);
  } else if (next == TokenKind::LeftAngle) {
    get_token(token);
    if (decl.relation == Relation::Pointer) report_error("no array-of-pointer declarations -- use typedef");
    decl.relation = Relation::VarArray;
    if (peek_and_take(TokenKind::RightAngle, token)) {
      decl.array_bound = "~0";
    } else {
      expect_constant(token);
      decl.array_bound = token.text;
      expect_token(TokenKind::RightAngle, token);
    }
  }

  bool is_array = decl.relation == Relation::FixedArray || decl.relation == Relation::VarArray;
  if (type_kind == TokenKind::Opaque && !is_array) report_error("array declaration expected");
  if (type_kind == TokenKind::String && decl.relation != Relation::VarArray)
    report_error("variable-length array declaration expected");
  return decl;
}

// constant-def = "const" identifier "=" ( constant | string-constant )
void parse_constant(Definition &def, Token &token) {
  def.kind = DefinitionKind::Constant;
  def.name = expect_identifier(token);
  expect_token(TokenKind::Equal, token);
  expect_token2(TokenKind::Identifier, TokenKind::StringConstant, token);
  def.value = token.text;
}

// struct-def = "struct" identifier "{" declaration ";" { declaration ";" } "}"
void parse_struct(Definition &def, Token &token) {
  def.kind = DefinitionKind::Struct;
  def.name = expect_identifier(token);
  expect_token(TokenKind::LeftBrace, token);
  do {
    def.members.push_back(parse_declaration(DefinitionKind::Struct, token));
    expect_token(TokenKind::Semicolon, token);
  } while (peek_token_kind() != TokenKind::RightBrace);
  get_token(token);
}

// union-def = "union" identifier "switch" "(" declaration ")" "{"
//             case-arm { case-arm } [ "default" ":" declaration ";" ] "}"
// case-arm  = "case" constant ":" declaration ";"
void parse_union(Definition &def, Token &token) {
  def.kind = DefinitionKind::Union;
  def.name = expect_identifier(token);
  expect_token(TokenKind::Switch, token);
  expect_token(TokenKind::LeftParen, token);
  def.discriminant = parse_declaration(DefinitionKind::Union, token);
  expect_token(TokenKind::RightParen, token);
  expect_token(TokenKind::LeftBrace, token);
  expect_token(TokenKind::Case, token);
  for (;;) {
    UnionCase arm;
    arm.case_value = expect_identifier(token);
    expect_token(TokenKind::Colon, token);
    arm.declaration = parse_declaration(DefinitionKind::Union, token);
    def.cases.push_back(std::move(arm));
    expect_token(TokenKind::Semicolon, token);
    expect_token3(TokenKind::Case, TokenKind::Default, TokenKind::RightBrace, token);
    if (token.kind == TokenKind::RightBrace) return;
    if (token.kind == TokenKind::Default) break;
  }
  expect_token(TokenKind::Colon, token);
  def.default_arm = parse_declaration(DefinitionKind::Union, token);
  expect_token(TokenKind::Semicolon, token);
  expect_token(TokenKind::RightBrace, token);
}

// enum-def = "enum" identifier "{" enum-member { "," enum-member } "}"
// enum-member = identifier [ "=" constant ]
void parse_enum(Definition &def, Token &token) {
  def.kind = DefinitionKind::Enum;
  def.name = expect_identifier(token);
  expect_token(TokenKind::LeftBrace, token);
  for (;;) {
    EnumMember member;
    member.name = expect_identifier(token);
    expect_token3(TokenKind::Comma, TokenKind::RightBrace, TokenKind::Equal, token);
    if (token.kind == TokenKind::Equal) {
      expect_constant(token);
      member.value = token.text;
      expect_token2(TokenKind::Comma, TokenKind::RightBrace, token);
    }
    def.enum_members.push_back(std::move(member));
    if (token.kind == TokenKind::RightBrace) return;
  }
}

// typedef-def = "typedef" declaration
void parse_typedef(Definition &def, Token &token) {
  def.kind = DefinitionKind::Typedef;
  Declaration decl = parse_declaration(DefinitionKind::Typedef, token);
  def.name = decl.name;
  def.old_prefix = decl.prefix;
  def.old_type = decl.type;
  def.relation = decl.relation;
  def.array_bound = decl.array_bound;
}

// procedure = type-specifier identifier "(" type-specifier ")" "=" constant ";"
ProcedureDef parse_procedure(Token &token) {
  ProcedureDef proc;
  if (parse_type_specifier(proc.result_prefix, proc.result_type, DefinitionKind::Program, token) == TokenKind::Opaque)
    report_error("illegal result type");
  proc.name = expect_identifier(token);
  expect_token(TokenKind::LeftParen, token);
  if (parse_type_specifier(proc.arg_prefix, proc.arg_type, DefinitionKind::Program, token) == TokenKind::Opaque)
    report_error("illegal argument type");
  expect_token(TokenKind::RightParen, token);
  expect_token(TokenKind::Equal, token);
  expect_constant(token);
  proc.number = token.text;
  expect_token(TokenKind::Semicolon, token);
  return proc;
}

// program-def = "program" identifier "{" version-def { version-def } "}" "=" constant
// version-def = "version" identifier "{" procedure { procedure } "}" "=" constant ";"
void parse_program(Definition &def, Token &token) {
  def.kind = DefinitionKind::Program;
  def.name = expect_identifier(token);
  expect_token(TokenKind::LeftBrace, token);
  expect_token(TokenKind::Version, token);
  do {
    VersionDef version;
    version.name = expect_identifier(token);
    expect_token(TokenKind::LeftBrace, token);
    do {
      version.procedures.push_back(parse_procedure(token));
    } while (peek_token_kind() != TokenKind::RightBrace);
    get_token(token);
    def.versions.push_back(std::move(version));
    expect_token(TokenKind::Equal, token);
    expect_constant(token);
    def.versions.back().number = token.text;
    expect_token(TokenKind::Semicolon, token);
    expect_token2(TokenKind::Version, TokenKind::RightBrace, token);
  } while (token.kind == TokenKind::Version);
  expect_token(TokenKind::Equal, token);
  expect_constant(token);
  def.program_number = token.text;
}

// Empties the record for the next definition; its lists keep their storage.
void clear_definition(Definition &def) {
  def.name = {};
  def.value = {};
  def.members.clear();
  def.discriminant = Declaration{};
  def.cases.clear();
  def.default_arm.reset();
  def.enum_members.clear();
  def.old_prefix = {};
  def.old_type = {};
  def.relation = Relation::Plain;
  def.array_bound = {};
  def.program_number = {};
  def.versions.clear();
}

}  // namespace

// definition = ( constant-def | struct-def | union-def | enum-def
//              | typedef-def | program-def ) ";"
Definition *get_definition() {
  // The Definition handed over before is done with, and with it every view
  // into the input before the current line.
  release_used_input();
  Token token;
  get_token(token);
  Definition *def = &g_state.current_definition;
  clear_definition(*def);
  switch (token.kind) {
    case TokenKind::Const: parse_constant(*def, token); break;
    case TokenKind::Struct: parse_struct(*def, token); break;
    case TokenKind::Union: parse_union(*def, token); break;
    case TokenKind::Enum: parse_enum(*def, token); break;
    case TokenKind::Typedef: parse_typedef(*def, token); break;
    case TokenKind::Program: parse_program(*def, token); break;
    case TokenKind::EndOfInput: return nullptr;
    default: report_error("definition keyword expected");
  }
  expect_token(TokenKind::Semicolon, token);
  return def;
}
