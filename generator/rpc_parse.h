// The definition model and the recursive-descent parser that builds it, one
// top-level definition at a time.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class DefinitionKind { Constant = 0, Struct = 1, Union = 2, Enum = 3, Typedef = 4, Program = 5 };

// How a declared name relates to its type.
enum class Relation { FixedArray = 0, VarArray = 1, Pointer = 2, Plain = 3 };

// One declarator. Empty prefix, name and array_bound mean "none": a name is
// never empty, a void declaration has none.
struct Declaration {
  std::string prefix;  // "struct", "union" or "enum" when written before the type
  std::string type;
  std::string name;
  Relation relation = Relation::Plain;
  std::string array_bound;  // FixedArray and VarArray only; "~0" for "<>"
};

struct UnionCase {
  std::string case_value;
  Declaration declaration;
};

struct EnumMember {
  std::string name;
  std::optional<std::string> value;
};

struct ProcedureDef {
  std::string name;
  std::string number;
  std::string arg_type;
  std::string arg_prefix;
  std::string result_type;
  std::string result_prefix;
};

struct VersionDef {
  std::string name;
  std::string number;
  std::vector<ProcedureDef> procedures;
};

// One top-level definition; the fields of its kind are the ones in use.
struct Definition {
  std::string name;
  DefinitionKind kind = DefinitionKind::Constant;

  std::string value;  // Constant: as written, a string constant with its quotes

  std::vector<Declaration> members;  // Struct

  Declaration discriminant;  // Union
  std::vector<UnionCase> cases;
  std::optional<Declaration> default_arm;

  std::vector<EnumMember> enum_members;  // Enum

  std::string old_prefix;  // Typedef
  std::string old_type;
  Relation relation = Relation::Plain;
  std::string array_bound;

  std::string program_number;  // Program
  std::vector<VersionDef> versions;
};

// The next definition of the input, or nullptr at its end. A syntax error
// ends the run. The Definition is the parser's own and is valid until the
// next call: each one is handed over and used at once, so one record is
// reused for all of them instead of allocating a new one each time.
Definition *get_definition();
