// The definition model and the recursive-descent parser that builds it, one
// top-level definition at a time.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rpc_number.h"
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

// One arm: its labels in input order (at least one), and its declaration.
struct UnionCase {
  std::vector<std::string_view> case_values;
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

// The Java type a constant is declared with.
enum class ConstantType { Int = 0, Long = 1, String = 2 };

// A constant or an enum member defined earlier in the pass.
struct RememberedValue {
  bool is_enum_member = false;
  std::string enum_name;  // an enum member's enum
  // A constant's Java type, and what it comes to when followed through
  // other constants: a number (as written at the end of the chain) or an
  // enum member (alias_enum, alias_member); both empty when neither.
  ConstantType type = ConstantType::Int;
  std::string number_text;
  std::string alias_enum;
  std::string alias_member;
  std::optional<NumberValue> value;  // known for numbers and counted enum members
};

struct RememberedTypedef {
  std::string old_type;
  Relation relation = Relation::Plain;
};

// What the input has defined so far in this pass: the parser records each
// Definition once it has been handed over and used, so a Definition sees
// only those before it. A later definition of a name replaces the earlier.
struct DefinitionMemory {
  std::map<std::string, RememberedValue, std::less<>> values;  // constants and enum members
  std::map<std::string, RememberedTypedef, std::less<>> typedefs;
};

// The constant or enum member of that name defined earlier, or nullptr.
const RememberedValue *find_value(const DefinitionMemory &memory, std::string_view name);
// The typedef of that name defined earlier, or nullptr.
const RememberedTypedef *find_typedef(const DefinitionMemory &memory, std::string_view name);
// Records a Definition; its texts are copied.
void remember_definition(DefinitionMemory &memory, const Definition &def);

// The parser of one pass: reads its scanner's tokens into Definitions.
struct Parser {
  explicit Parser(Scanner &source) : scanner(source) {}

  Scanner &scanner;
  Token token;                    // the token read last
  Definition current_definition;  // the one get_definition hands over
  bool handed_over = false;       // current_definition was handed over and is not yet remembered
  DefinitionMemory memory;        // the definitions handed over before
};

// The next definition of the input, or nullptr at its end. A syntax error
// ends the run. The Definition is the parser's own and is valid until the
// next call: each one is handed over and used at once, so one record is
// reused for all of them instead of allocating a new one each time. The
// call first records the Definition handed over before in the memory.
Definition *get_definition(Parser &parser);
