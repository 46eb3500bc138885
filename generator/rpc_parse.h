// The definition model and the recursive-descent parser that builds it, one
// top-level definition at a time.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "rpc_scan.h"

enum class DefinitionKind { Constant = 0, Struct = 1, Union = 2, Enum = 3, Typedef = 4, Program = 5 };

// How a declared name relates to its type.
enum class Relation { FixedArray = 0, VarArray = 1, Pointer = 2, Plain = 3 };

// One declarator. Empty prefix, name and array_bound mean "none": a name is
// never empty, a void declaration has none.
//
// Every text of the model views the input of the pass (or a constant text):
// a Definition is used before the next one is read, and the input it views
// stays in place until then, so nothing is copied.
struct Declaration {
  std::string_view prefix;  // "struct", "union" or "enum" when written before the type
  std::string_view type;
  std::string_view name;
  Relation relation = Relation::Plain;
  std::string_view array_bound;  // FixedArray and VarArray only; "~0" for "<>"
};

struct UnionCase {
  std::string_view case_value;
  Declaration declaration;
};

struct EnumMember {
  std::string_view name;
  std::optional<std::string_view> value;
};

struct ProcedureDef {
  std::string_view name;
  std::string_view number;
  std::string_view arg_type;
  std::string_view arg_prefix;
  std::string_view result_type;
  std::string_view result_prefix;
};

struct VersionDef {
  std::string_view name;
  std::string_view number;
  std::vector<ProcedureDef> procedures;
};

// One top-level definition; the fields of its kind are the ones in use.
struct Definition {
  std::string_view name;
  DefinitionKind kind = DefinitionKind::Constant;

  std::string_view value;  // Constant: as written, a string constant with its quotes

  std::vector<Declaration> members;  // Struct

  Declaration discriminant;  // Union
  std::vector<UnionCase> cases;
  std::optional<Declaration> default_arm;

  std::vector<EnumMember> enum_members;  // Enum

  std::string_view old_prefix;  // Typedef
  std::string_view old_type;
  Relation relation = Relation::Plain;
  std::string_view array_bound;

  std::string_view program_number;  // Program
  std::vector<VersionDef> versions;
};

// The parser of one pass: reads its scanner's tokens into Definitions.
struct Parser {
  explicit Parser(Scanner &source) : scanner(source) {}

  Scanner &scanner;
  Token token;                    // the token read last
  Definition current_definition;  // the one get_definition hands over
};

// The next definition of the input, or nullptr at its end. A syntax error
// ends the run. The Definition is the parser's own and is valid until the
// next call: each one is handed over and used at once, so one record is
// reused for all of them instead of allocating a new one each time.
Definition *get_definition(Parser &parser);
