// SPDX-License-Identifier: Apache-2.0
// Recursive-descent parser with one token of look-ahead. The grammar rule a
// function reads stands in the comment above it. There is no recovery: the
// first syntax error ends the run through report_error.
#include "rpc_parse.h"

#include <algorithm>

#include "rpc_diag.h"
#include "rpc_scan.h"

namespace {

// The parser's errors are reported where its scanner stands. These are out
// of line and cold, to keep the parse functions' hot paths small.
[[noreturn, gnu::cold, gnu::noinline]] void report_error(Parser &p, std::string_view message) {
  report_error(p.scanner, message);
}

[[noreturn, gnu::cold, gnu::noinline]] void report_expected(Parser &p, TokenKind kind) {
  report_expected1(source_position(p.scanner), kind);
}

[[noreturn, gnu::cold, gnu::noinline]] void report_expected(Parser &p, TokenKind kind1, TokenKind kind2) {
  report_expected2(source_position(p.scanner), kind1, kind2);
}

[[noreturn, gnu::cold, gnu::noinline]] void report_expected(Parser &p, TokenKind kind1, TokenKind kind2,
                                                            TokenKind kind3) {
  report_expected3(source_position(p.scanner), kind1, kind2, kind3);
}

void expect_token(Parser &p, TokenKind kind) {
  get_token(p.scanner, p.token);
  if (p.token.kind != kind) report_expected(p, kind);
}

void expect_token2(Parser &p, TokenKind kind1, TokenKind kind2) {
  get_token(p.scanner, p.token);
  if (p.token.kind != kind1 && p.token.kind != kind2) report_expected(p, kind1, kind2);
}

void expect_token3(Parser &p, TokenKind kind1, TokenKind kind2, TokenKind kind3) {
  get_token(p.scanner, p.token);
  if (p.token.kind != kind1 && p.token.kind != kind2 && p.token.kind != kind3) report_expected(p, kind1, kind2, kind3);
}

// An identifier or number where a value must stand.
void expect_constant(Parser &p) {
  get_token(p.scanner, p.token);
  if (p.token.kind != TokenKind::Identifier) report_error(p, "constant or identifier expected");
}

// What a number in the input numbers, and the values it may take there.
struct NumberRange {
  std::string_view message;
  bool may_be_negative;           // down to -2^31
  std::uint64_t highest;
};
constexpr NumberRange program_number_range = {"program number out of range: expected 0 to 4294967295", false,
                                              0xffffffffu};
constexpr NumberRange version_number_range = {"version number out of range: expected 0 to 4294967295", false,
                                              0xffffffffu};
constexpr NumberRange procedure_number_range = {"procedure number out of range: expected 0 to 4294967295", false,
                                                0xffffffffu};
// A fixed size is a Java array length. A maximum is compared with one; a
// negative maximum stays as written, as C peers read it: unsigned.
constexpr NumberRange fixed_size_range = {"array size out of range: expected 0 to 2147483647", false, 0x7fffffffu};
constexpr NumberRange maximum_range = {"maximum size out of range: expected -2147483648 to 2147483647", true,
                                       0x7fffffffu};
// An enum member is a Java int; an unsigned 32-bit value travels as its bits.
constexpr NumberRange enum_value_range = {"enum value out of range: expected -2147483648 to 4294967295", true,
                                          0xffffffffu};

// True for the digits of a number in one of the three bases: "0x" and at
// least one hexadecimal digit, "0" and octal digits, or decimal digits,
// after an optional "-".
bool is_well_formed_number(std::string_view text) {
  if (!text.empty() && text[0] == '-') text.remove_prefix(1);
  if (text.size() > 2 && text[0] == '0' && text[1] == 'x')
    return text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string_view::npos;
  if (text.empty()) return false;
  const char *digits = text[0] == '0' ? "01234567" : "0123456789";
  return text.find_first_not_of(digits) == std::string_view::npos;
}

// A fault the grammar lets pass but Java would not compile: reported once
// the definition has been read whole, so that a syntax error in it is
// reported as such first. The first one counts.
void defer_error(Parser &p, std::string message) {
  if (p.deferred_error.empty()) p.deferred_error = std::move(message);
}

// A number token that is no number in C or Java: "0x" without digits, a
// "0" followed by 8 or 9, a lone "-". Java would not compile it.
void check_number_form(Parser &p) {
  const std::string_view text = p.token.text;
  if (text.empty() || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')) || is_well_formed_number(text)) return;
  std::string message = "malformed number ";
  message += text;
  std::string_view digits = text.substr(text[0] == '-' ? 1 : 0);
  if (digits.empty())
    message += ": a sign without digits";
  else if (digits.starts_with("0x"))
    message += ": \"0x\" without hexadecimal digits";
  else
    message += ": a number that begins with 0 is octal, whose digits are 0 to 7";
  defer_error(p, std::move(message));
}

// Checks the value of the constant just read, a number or the name of an
// earlier constant or enum member whose value is known; a name the input
// gives no value is left to the Java compiler. A number beyond 64 bits is
// out of every range, and a string constant is no number.
void check_range(Parser &p, const NumberRange &range) {
  const std::string_view text = p.token.text;
  std::optional<NumberValue> value;
  check_number_form(p);
  if (starts_like_number(text)) {
    if (!is_well_formed_number(text)) return;  // reported once the definition is read
    value = number_value(text);
    if (!value) report_error(p, range.message);
  } else if (const RememberedValue *named = find_value(p.memory, text)) {
    if (named->type == ConstantType::String && !named->is_enum_member) {
      std::string message(text);
      message += " is a string constant, not a number";
      defer_error(p, std::move(message));
    }
    value = named->value;
  }
  if (!value) return;
  const bool fits = value->negative ? range.may_be_negative && value->magnitude <= 0x80000000u
                                    : value->magnitude <= range.highest;
  if (!fits) report_error(p, range.message);
}

// The doc comment of the item whose first token was read last.
std::string_view leading_doc(const Parser &p) {
  return p.keeps_docs ? leading_comment(p.scanner, p.token.text.data()) : std::string_view();
}

// The doc comment on the line of the item just read, after its end.
std::string_view trailing_doc(Parser &p) { return p.keeps_docs ? trailing_comment(p.scanner) : std::string_view(); }

bool peek_and_take(Parser &p, TokenKind kind) {
  if (peek_token_kind(p.scanner) != kind) return false;
  get_token(p.scanner, p.token);
  return true;
}

std::string_view expect_identifier(Parser &p) {
  expect_token(p, TokenKind::Identifier);
  return p.token.text;
}

// The identifier just read names what is being defined, or a type: a
// number there would be no Java name.
void check_name(Parser &p) {
  const char first = p.token.text[0];
  if (first == '-' || (first >= '0' && first <= '9')) {
    std::string message = "name expected, not the number ";
    message += p.token.text;
    defer_error(p, std::move(message));
  }
}

std::string_view expect_name(Parser &p) {
  expect_token(p, TokenKind::Identifier);
  check_name(p);
  return p.token.text;
}

// unsigned-type = "unsigned" [ "int" | "short" ["int"] | "long" ["int"] | "char" | "hyper" ]
std::string_view parse_unsigned_type(Parser &p) {
  switch (peek_token_kind(p.scanner)) {
    case TokenKind::Int: get_token(p.scanner, p.token); return "u_int";
    case TokenKind::Short:
      get_token(p.scanner, p.token);
      peek_and_take(p, TokenKind::Int);
      return "u_short";
    case TokenKind::Long:
      get_token(p.scanner, p.token);
      peek_and_take(p, TokenKind::Int);
      return "u_long";
    case TokenKind::Char: get_token(p.scanner, p.token); return "u_char";
    case TokenKind::Hyper: get_token(p.scanner, p.token); return "u_hyper";
    default: return "u_int";
  }
}

// type-specifier = identifier | ("struct" | "union" | "enum") identifier
//                | "int" | "float" | "double" | "opaque" | "char" | "string" | "bool" | "hyper"
//                | "short" ["int"] | "long" ["int"] | unsigned-type | "void"
// Returns the keyword the type begins with (Identifier for a name), which
// tells void, opaque and string apart without comparing texts.
TokenKind parse_type_specifier(Parser &p, std::string_view &prefix, std::string_view &type,
                               DefinitionKind enclosing_kind) {
  prefix = {};
  get_token(p.scanner, p.token);
  p.type_doc = leading_doc(p);
  const TokenKind kind = p.token.kind;
  switch (kind) {
    case TokenKind::Identifier:
      check_name(p);
      type = p.token.text;
      break;
    case TokenKind::Struct:
    case TokenKind::Union:
    case TokenKind::Enum:
      prefix = p.token.text;
      type = expect_name(p);
      break;
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Double:
    case TokenKind::Opaque:
    case TokenKind::Char:
    case TokenKind::String:
    case TokenKind::Bool:
    case TokenKind::Hyper: type = p.token.text; break;
    case TokenKind::Short:
    case TokenKind::Long:
      type = p.token.text;
      peek_and_take(p, TokenKind::Int);
      break;
    case TokenKind::Unsigned: type = parse_unsigned_type(p); break;
    case TokenKind::Void:
      if (enclosing_kind != DefinitionKind::Union && enclosing_kind != DefinitionKind::Program)
        report_error(p, "voids allowed only inside union and program definitions");
      type = "void";
      break;
    default: report_error(p, "expected type specifier");
  }
  return kind;
}

// declaration = type-specifier ( "void"
//             | [ "*" ] identifier [ "[" constant "]" | "<" [ constant ] ">" ] )
Declaration parse_declaration(Parser &p, DefinitionKind enclosing_kind) {
  Declaration decl;
  const TokenKind type_kind = parse_type_specifier(p, decl.prefix, decl.type, enclosing_kind);
  decl.doc = p.type_doc;
  decl.relation = Relation::Plain;
  if (type_kind == TokenKind::Void) return decl;

  expect_token2(p, TokenKind::Star, TokenKind::Identifier);
  if (p.token.kind == TokenKind::Star) {
    decl.relation = Relation::Pointer;
    expect_token(p, TokenKind::Identifier);
  }
  check_name(p);
  decl.name = p.token.text;

  // One look at the next token decides between the array forms.
  const TokenKind next = peek_token_kind(p.scanner);
  if (next == TokenKind::LeftBracket) {
    get_token(p.scanner, p.token);
    if (decl.relation == Relation::Pointer) report_error(p, "no array-of-pointer declarations -- use typedef");
    decl.relation = Relation::FixedArray;
    expect_constant(p);
    check_range(p, fixed_size_range);
    decl.array_bound = p.token.text;
    expect_token(p, TokenKind::RightBracket);
  } else if (next == TokenKind::LeftAngle) {
    get_token(p.scanner, p.token);
    if (decl.relation == Relation::Pointer) report_error(p, "no array-of-pointer declarations -- use typedef");
    decl.relation = Relation::VarArray;
    if (peek_and_take(p, TokenKind::RightAngle)) {
      decl.array_bound = "~0";
    } else {
      expect_constant(p);
      check_range(p, maximum_range);
      decl.array_bound = p.token.text;
      expect_token(p, TokenKind::RightAngle);
    }
  }

  bool is_array = decl.relation == Relation::FixedArray || decl.relation == Relation::VarArray;
  if (type_kind == TokenKind::Opaque && !is_array) report_error(p, "array declaration expected");
  if (type_kind == TokenKind::String && decl.relation != Relation::VarArray)
    report_error(p, "variable-length array declaration expected");
  return decl;
}

// A string constant becomes a Java string literal as written, so its text
// must mean in Java what it means in C: the escapes both languages share
// (\b \t \n \f \r \" \' \\ and octal) may stand, any other is an error
// rather than a constant that changes its meaning or breaks the Java. \u
// is one: Java reads it before anything else, so it could even end the
// literal. A carriage return would end a Java literal too.
void check_string_constant(Parser &p, std::string_view text) {
  const std::string_view body = text.substr(1, text.size() - 2);
  for (std::size_t i = 0; i < body.size(); i++) {
    if (body[i] == '\r') report_error(p, "string constant holds a carriage return");
    if (body[i] != '\\') continue;
    if (i + 1 == body.size()) report_error(p, "string constant ends in a backslash");
    const char next = body[i + 1];
    if (std::string_view("btnfr'\\01234567").find(next) == std::string_view::npos) {
      std::string message = "string constant has an escape that Java does not read as C does: \\";
      message.push_back(next);
      report_error(p, message);
    }
    i++;
  }
}

// constant-def = "const" identifier "=" ( constant | string-constant )
void parse_constant(Parser &p, Definition &def) {
  def.kind = DefinitionKind::Constant;
  def.name = expect_name(p);
  expect_token(p, TokenKind::Equal);
  expect_token2(p, TokenKind::Identifier, TokenKind::StringConstant);
  if (p.token.kind == TokenKind::StringConstant)
    check_string_constant(p, p.token.text);
  else
    check_number_form(p);
  def.value = p.token.text;
}

// struct-def = "struct" identifier "{" declaration ";" { declaration ";" } "}"
void parse_struct(Parser &p, Definition &def) {
  def.kind = DefinitionKind::Struct;
  def.name = expect_name(p);
  expect_token(p, TokenKind::LeftBrace);
  do {
    def.members.push_back(parse_declaration(p, DefinitionKind::Struct));
    expect_token(p, TokenKind::Semicolon);
    if (def.members.back().doc.empty()) def.members.back().doc = trailing_doc(p);
  } while (peek_token_kind(p.scanner) != TokenKind::RightBrace);
  get_token(p.scanner, p.token);
}

// union-def  = "union" identifier "switch" "(" declaration ")" "{"
//              case-arm { case-arm } [ "default" ":" declaration ";" ] "}"
// case-arm   = case-label { case-label } declaration ";"
// case-label = "case" constant ":"
void parse_union(Parser &p, Definition &def) {
  def.kind = DefinitionKind::Union;
  def.name = expect_name(p);
  expect_token(p, TokenKind::Switch);
  expect_token(p, TokenKind::LeftParen);
  def.discriminant = parse_declaration(p, DefinitionKind::Union);
  expect_token(p, TokenKind::RightParen);
  expect_token(p, TokenKind::LeftBrace);
  expect_token(p, TokenKind::Case);
  std::string_view arm_doc = leading_doc(p);  // before the arm's first "case"
  for (;;) {
    UnionCase arm;
    arm.first_value = def.case_values.size();
    do {
      def.case_values.push_back(expect_identifier(p));
      check_number_form(p);
      expect_token(p, TokenKind::Colon);
    } while (peek_and_take(p, TokenKind::Case));
    arm.value_count = def.case_values.size() - arm.first_value;
    arm.declaration = parse_declaration(p, DefinitionKind::Union);
    expect_token(p, TokenKind::Semicolon);
    Declaration &decl = arm.declaration;
    if (decl.doc.empty()) decl.doc = arm_doc.empty() ? trailing_doc(p) : arm_doc;
    def.cases.push_back(std::move(arm));
    expect_token3(p, TokenKind::Case, TokenKind::Default, TokenKind::RightBrace);
    if (p.token.kind == TokenKind::RightBrace) return;
    arm_doc = leading_doc(p);
    if (p.token.kind == TokenKind::Default) break;
  }
  expect_token(p, TokenKind::Colon);
  def.default_arm = parse_declaration(p, DefinitionKind::Union);
  expect_token(p, TokenKind::Semicolon);
  if (def.default_arm->doc.empty()) def.default_arm->doc = arm_doc.empty() ? trailing_doc(p) : arm_doc;
  expect_token(p, TokenKind::RightBrace);
}

// enum-def = "enum" identifier "{" enum-member { "," enum-member } "}"
// enum-member = identifier [ "=" constant ]
void parse_enum(Parser &p, Definition &def) {
  def.kind = DefinitionKind::Enum;
  def.name = expect_name(p);
  expect_token(p, TokenKind::LeftBrace);
  // The value of the last member with one written, as far as it is known,
  // and how many members came after it: a member without a value counts on
  // from there, and must still be an enum value.
  std::optional<NumberValue> last{NumberValue{}};
  std::uint64_t count = 0;
  std::vector<std::optional<NumberValue>> &values = p.enum_values;
  values.clear();
  for (;;) {
    EnumMember member;
    member.name = expect_name(p);
    member.doc = leading_doc(p);
    const std::string_view member_name = member.name;
    expect_token3(p, TokenKind::Comma, TokenKind::RightBrace, TokenKind::Equal);
    if (p.token.kind == TokenKind::Equal) {
      expect_constant(p);
      check_range(p, enum_value_range);
      member.value = p.token.text;
      const auto own = std::find_if(def.enum_members.begin(), def.enum_members.end(),
                                    [&](const EnumMember &earlier) { return earlier.name == *member.value; });
      if (own != def.enum_members.end())
        last = values[static_cast<std::size_t>(own - def.enum_members.begin())];
      else if (starts_like_number(*member.value))
        last = number_value(*member.value);
      else if (const RememberedValue *named = find_value(p.memory, *member.value))
        last = named->value;
      else
        last.reset();
      count = 0;
      expect_token2(p, TokenKind::Comma, TokenKind::RightBrace);
    }
    std::optional<NumberValue> value;
    if (last) value = add_count(*last, count);
    if (last && (!value || (!value->negative && value->magnitude > 0xffffffffu))) {
      std::string message = "enum value out of range: ";
      message += member_name;
      message += " counts on to ";
      message += value ? std::to_string(value->magnitude) : std::string("beyond 64 bits");
      message += ", expected -2147483648 to 4294967295";
      defer_error(p, std::move(message));
    }
    values.push_back(value);
    count++;
    if (member.doc.empty()) member.doc = trailing_doc(p);
    def.enum_members.push_back(std::move(member));
    if (p.token.kind == TokenKind::RightBrace) return;
  }
}

// typedef-def = "typedef" declaration
void parse_typedef(Parser &p, Definition &def) {
  def.kind = DefinitionKind::Typedef;
  Declaration decl = parse_declaration(p, DefinitionKind::Typedef);
  def.name = decl.name;
  def.old_prefix = decl.prefix;
  def.old_type = decl.type;
  def.relation = decl.relation;
  def.array_bound = decl.array_bound;
}

// procedure = type-specifier identifier "(" type-specifier ")" "=" constant ";"
ProcedureDef parse_procedure(Parser &p) {
  ProcedureDef proc;
  if (parse_type_specifier(p, proc.result_prefix, proc.result_type, DefinitionKind::Program) == TokenKind::Opaque)
    report_error(p, "illegal result type");
  proc.doc = p.type_doc;
  proc.name = expect_name(p);
  expect_token(p, TokenKind::LeftParen);
  if (parse_type_specifier(p, proc.arg_prefix, proc.arg_type, DefinitionKind::Program) == TokenKind::Opaque)
    report_error(p, "illegal argument type");
  expect_token(p, TokenKind::RightParen);
  expect_token(p, TokenKind::Equal);
  expect_constant(p);
  check_range(p, procedure_number_range);
  proc.number = p.token.text;
  expect_token(p, TokenKind::Semicolon);
  if (proc.doc.empty()) proc.doc = trailing_doc(p);
  return proc;
}

// program-def = "program" identifier "{" version-def { version-def } "}" "=" constant
// version-def = "version" identifier "{" procedure { procedure } "}" "=" constant ";"
void parse_program(Parser &p, Definition &def) {
  def.kind = DefinitionKind::Program;
  def.name = expect_name(p);
  expect_token(p, TokenKind::LeftBrace);
  expect_token(p, TokenKind::Version);
  do {
    VersionDef version;
    version.doc = leading_doc(p);
    version.name = expect_identifier(p);
    expect_token(p, TokenKind::LeftBrace);
    do {
      version.procedures.push_back(parse_procedure(p));
    } while (peek_token_kind(p.scanner) != TokenKind::RightBrace);
    get_token(p.scanner, p.token);
    def.versions.push_back(std::move(version));
    expect_token(p, TokenKind::Equal);
    expect_constant(p);
    check_range(p, version_number_range);
    def.versions.back().number = p.token.text;
    expect_token(p, TokenKind::Semicolon);
    if (def.versions.back().doc.empty()) def.versions.back().doc = trailing_doc(p);
    expect_token2(p, TokenKind::Version, TokenKind::RightBrace);
  } while (p.token.kind == TokenKind::Version);
  expect_token(p, TokenKind::Equal);
  expect_constant(p);
  check_range(p, program_number_range);
  def.program_number = p.token.text;
}

// Empties the record for the next definition; its lists keep their storage.
void clear_definition(Definition &def) {
  def.name = {};
  def.doc = {};
  def.value = {};
  def.members.clear();
  def.discriminant = Declaration{};
  def.cases.clear();
  def.case_values.clear();
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
Definition *get_definition(Parser &p) {
  // The Definition handed over before is done with: it is remembered, and
  // then every view into the input before the current line may go.
  if (p.handed_over) {
    if (p.records) remember_definition(p.memory, p.current_definition);
    p.memory.position++;
  }
  p.handed_over = false;
  release_used_input(p.scanner);
  get_token(p.scanner, p.token);
  Definition *def = &p.current_definition;
  clear_definition(*def);
  def->doc = leading_doc(p);
  p.deferred_error.clear();
  switch (p.token.kind) {
    case TokenKind::Const: parse_constant(p, *def); break;
    case TokenKind::Struct: parse_struct(p, *def); break;
    case TokenKind::Union: parse_union(p, *def); break;
    case TokenKind::Enum: parse_enum(p, *def); break;
    case TokenKind::Typedef: parse_typedef(p, *def); break;
    case TokenKind::Program: parse_program(p, *def); break;
    case TokenKind::EndOfInput: return nullptr;
    default: report_error(p, "definition keyword expected");
  }
  expect_token(p, TokenKind::Semicolon);
  if (def->doc.empty()) def->doc = trailing_doc(p);
  if (!p.deferred_error.empty()) report_error(p, p.deferred_error);
  if (p.records) {
    if (def->kind != DefinitionKind::Constant && def->kind != DefinitionKind::Program)
      set_record(p.memory.types, keep_text(p.memory.texts, def->name), RememberedType{def->kind}, p.memory.position);
    // A definition that repeats the first one of its name word for word;
    // one that differs is left for the caller to report.
    const DefinitionStamp stamp{def->kind, definition_hash(*def)};
    const DefinitionStamp *first = find_record(p.memory.first_definitions, def->name, UINT32_MAX);
    if (first == nullptr)
      set_record(p.memory.first_definitions, keep_text(p.memory.texts, def->name), stamp, p.memory.position);
    p.memory.repeats.push_back(first != nullptr && first->kind == stamp.kind && first->body_hash == stamp.body_hash);
  }
  p.handed_over = true;
  return def;
}

bool repeats_earlier_definition(const Parser &p) {
  return p.handed_over && p.memory.position < p.memory.repeats.size() && p.memory.repeats[p.memory.position];
}

// ---- The memory of definitions ----

// FNV-1a, whose low bits (the slot) depend only on the low bits of the
// bytes; the last steps mix the high bits into them.
std::uint32_t name_hash(std::string_view name) {
  std::uint64_t hash = 14695981039346656037u;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211u;
  }
  hash ^= hash >> 32;
  hash *= 0xbf58476d1ce4e5b9u;
  return static_cast<std::uint32_t>(hash ^ (hash >> 29));
}

void forget_definitions(DefinitionMemory &memory) {
  clear_table(memory.values);
  clear_table(memory.typedefs);
  clear_table(memory.types);
  clear_table(memory.first_definitions);
  memory.repeats.clear();
  memory.texts.chunks.clear();
  memory.position = 0;
}

const RememberedValue *find_value(const DefinitionMemory &memory, std::string_view name) {
  return find_record(memory.values, name, memory.position);
}

const RememberedTypedef *find_typedef(const DefinitionMemory &memory, std::string_view name) {
  return find_record(memory.typedefs, name, memory.position);
}

bool defines_type(const DefinitionMemory &memory, std::string_view name) {
  return find_record(memory.types, name, UINT32_MAX) != nullptr;
}

namespace {

// FNV-1a over 64 bits. Each text goes in with its length, so that two
// bodies cut into texts at other places do not hash alike.
struct BodyHash {
  std::uint64_t value = 14695981039346656037u;
  void add_byte(unsigned char byte) {
    value ^= byte;
    value *= 1099511628211u;
  }
  void add(std::uint64_t number) {
    for (int i = 0; i < 8; i++) add_byte(static_cast<unsigned char>(number >> (8 * i)));
  }
  void add(std::string_view text) {
    add(text.size());
    for (char c : text) add_byte(static_cast<unsigned char>(c));
  }
  void add(const Declaration &decl) {
    add(decl.type);
    add(decl.name);
    add(static_cast<std::uint64_t>(decl.relation));
    add(decl.array_bound);
  }
};

}  // namespace

std::uint64_t definition_hash(const Definition &def) {
  BodyHash hash;
  hash.add(static_cast<std::uint64_t>(def.kind));
  hash.add(def.name);
  switch (def.kind) {
    case DefinitionKind::Constant: hash.add(def.value); break;
    case DefinitionKind::Struct:
      hash.add(def.members.size());
      for (const Declaration &member : def.members) hash.add(member);
      break;
    case DefinitionKind::Union:
      hash.add(def.discriminant);
      hash.add(def.cases.size());
      for (const UnionCase &arm : def.cases) {
        hash.add(arm.value_count);
        for (std::string_view label : arm_labels(def, arm)) hash.add(label);
        hash.add(arm.declaration);
      }
      hash.add(std::uint64_t{def.default_arm.has_value()});
      if (def.default_arm) hash.add(*def.default_arm);
      break;
    case DefinitionKind::Enum:
      hash.add(def.enum_members.size());
      for (const EnumMember &member : def.enum_members) {
        hash.add(member.name);
        hash.add(std::uint64_t{member.value.has_value()});
        if (member.value) hash.add(*member.value);
      }
      break;
    case DefinitionKind::Typedef:
      hash.add(def.old_type);
      hash.add(static_cast<std::uint64_t>(def.relation));
      hash.add(def.array_bound);
      break;
    case DefinitionKind::Program:
      hash.add(def.program_number);
      hash.add(def.versions.size());
      for (const VersionDef &version : def.versions) {
        hash.add(version.name);
        hash.add(version.number);
        hash.add(version.procedures.size());
        for (const ProcedureDef &proc : version.procedures) {
          hash.add(proc.name);
          hash.add(proc.number);
          hash.add(proc.arg_type);
          hash.add(proc.result_type);
        }
      }
      break;
  }
  return hash.value;
}

// A copy of text in the pool.
std::string_view keep_text(TextPool &pool, std::string_view text) {
  static constexpr std::size_t chunk_size = 16384;
  if (pool.chunks.empty() || pool.chunks.back().capacity() - pool.chunks.back().size() < text.size()) {
    pool.chunks.emplace_back();
    pool.chunks.back().reserve(std::max(chunk_size, text.size()));
  }
  std::string &chunk = pool.chunks.back();
  const std::size_t start = chunk.size();
  chunk.append(text);
  return std::string_view(chunk).substr(start, text.size());
}

namespace {

// A constant's value: a string, a number, or a name followed to what it
// comes to.
RememberedValue remembered_constant(DefinitionMemory &memory, std::string_view value) {
  RememberedValue constant;
  if (!value.empty() && value[0] == '"') {
    constant.type = ConstantType::String;
  } else if (std::optional<NumberValue> number = number_value(value)) {
    constant.type = needs_long(*number) ? ConstantType::Long : ConstantType::Int;
    constant.number_text = keep_text(memory.texts, value);
    constant.value = number;
  } else if (const RememberedValue *named = find_value(memory, value)) {
    if (named->is_enum_member) {
      constant.enum_name = named->enum_name;
      constant.alias_member = keep_text(memory.texts, value);
      constant.value = named->value;
    } else {
      constant = *named;
    }
  }
  return constant;
}

// Enum members count on from the last explicit value, or from 0.
void remember_enum(DefinitionMemory &memory, const Definition &def) {
  const std::string_view enum_name = keep_text(memory.texts, def.name);
  std::optional<NumberValue> last{NumberValue{}};
  std::uint64_t count = 0;
  std::vector<std::optional<NumberValue>> values;  // of the members before, in order
  values.reserve(def.enum_members.size());
  for (const EnumMember &member : def.enum_members) {
    if (member.value) {
      // An earlier member of this enum comes first: the memory does not
      // hold this enum's members until the enum is done.
      const auto own = std::find_if(def.enum_members.data(), &member,
                                    [&](const EnumMember &earlier) { return earlier.name == *member.value; });
      if (own != &member)
        last = values[static_cast<std::size_t>(own - def.enum_members.data())];
      else if (const std::optional<NumberValue> number = number_value(*member.value))
        last = number;
      else if (const RememberedValue *named = find_value(memory, *member.value))
        last = named->value;
      else
        last.reset();
      count = 0;
    }
    RememberedValue remembered;
    remembered.is_enum_member = true;
    remembered.enum_name = enum_name;
    // An enum member is a Java int, which counts on as ints do.
    if (last) {
      if (std::optional<NumberValue> sum = add_count(*last, count)) remembered.value = int_value(*sum);
    }
    values.push_back(remembered.value);
    count++;
    set_record(memory.values, keep_text(memory.texts, member.name), remembered, memory.position);
  }
}

}  // namespace

void remember_definition(DefinitionMemory &memory, const Definition &def) {
  switch (def.kind) {
    case DefinitionKind::Constant: {
      RememberedValue constant = remembered_constant(memory, def.value);
      set_record(memory.values, keep_text(memory.texts, def.name), constant, memory.position);
      break;
    }
    case DefinitionKind::Enum: remember_enum(memory, def); break;
    case DefinitionKind::Typedef:
      set_record(memory.typedefs, keep_text(memory.texts, def.name),
                 RememberedTypedef{keep_text(memory.texts, def.old_type), def.relation,
                                   def.array_bound.empty() ? std::string_view() : keep_text(memory.texts, def.array_bound)},
                 memory.position);
      break;
    case DefinitionKind::Struct:
    case DefinitionKind::Union:
    case DefinitionKind::Program: break;
  }
}
