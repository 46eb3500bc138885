// SPDX-License-Identifier: Apache-2.0
// The definition model and the recursive-descent parser that builds it, one
// top-level definition at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
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
  std::string_view doc;          // its doc comment, "/* ... */", when the parser keeps them
};

// One arm: its labels in input order (at least one), and its declaration.
// One arm: its labels (one or more, in input order) stand in the union's
// case_values, from first_value on; see arm_labels.
struct UnionCase {
  std::size_t first_value = 0;
  std::size_t value_count = 0;
  Declaration declaration;
};

struct EnumMember {
  std::string_view name;
  std::optional<std::string_view> value;
  std::string_view doc;
};

struct ProcedureDef {
  std::string_view name;
  std::string_view number;
  std::string_view arg_type;
  std::string_view arg_prefix;
  std::string_view result_type;
  std::string_view result_prefix;
  std::string_view doc;
};

struct VersionDef {
  std::string_view name;
  std::string_view number;
  std::vector<ProcedureDef> procedures;
  std::string_view doc;
};

// One top-level definition; the fields of its kind are the ones in use.
struct Definition {
  std::string_view name;
  DefinitionKind kind = DefinitionKind::Constant;
  std::string_view doc;  // the doc comment of the definition, when the parser keeps them

  std::string_view value;  // Constant: as written, a string constant with its quotes

  std::vector<Declaration> members;  // Struct

  Declaration discriminant;  // Union
  std::vector<UnionCase> cases;
  std::vector<std::string_view> case_values;  // every arm's labels, in input order
  std::optional<Declaration> default_arm;

  std::vector<EnumMember> enum_members;  // Enum

  std::string_view old_prefix;  // Typedef
  std::string_view old_type;
  Relation relation = Relation::Plain;
  std::string_view array_bound;

  std::string_view program_number;  // Program
  std::vector<VersionDef> versions;
};

// The labels of one arm of a union.
inline std::span<const std::string_view> arm_labels(const Definition &def, const UnionCase &arm) {
  return std::span<const std::string_view>(def.case_values).subspan(arm.first_value, arm.value_count);
}

// The Java type a constant is declared with.
enum class ConstantType { Int = 0, Long = 1, String = 2 };

// The texts of the memory below are copies kept in a pool: the input they
// come from is let go as the parse moves on. Texts are appended to the last
// chunk while it has room, so a chunk never moves and views into it stay
// valid; a deque never moves its chunks either.
struct TextPool {
  std::deque<std::string> chunks;
};

// A copy of text in the pool, valid as long as the pool.
std::string_view keep_text(TextPool &pool, std::string_view text);

// A table from names to records, flat so that a look-up touches little
// memory: open addressing over a power-of-two array of slots, each holding
// 32 bits of the name's hash (which also place it) and the index of an
// entry plus one (0: empty), so that a probe reads an entry only when the
// hash bits match. Entries hold the names, records sit apart in the same
// order: a look-up reads the record it finds and no other. Both grow in
// blocks that never move: moving them as a vector does would touch twice
// the memory, and fresh memory is what a table of this size costs most.
// The names are views the owner keeps valid. Each entry is stamped with the position of
// the definition that made it; a name defined again gets a new entry that
// links to the one before, so a look-up can be made as of any position.
template <typename Record>
struct NameTable {
  struct Entry {
    std::string_view name;
    std::uint32_t defined_at;  // the position of the definition
    std::uint32_t earlier;     // the entry of the name's definition before, plus one (0: none)
  };
  std::deque<Entry> entries;
  std::deque<Record> records;  // records[i] belongs to entries[i]
  std::vector<std::uint64_t> slots;
};

// 32 bits of a name's hash.
std::uint32_t name_hash(std::string_view name);

inline std::uint32_t slot_hash(std::uint64_t slot) { return static_cast<std::uint32_t>(slot >> 32); }
inline std::uint32_t slot_entry(std::uint64_t slot) { return static_cast<std::uint32_t>(slot); }

// The slot where name is, or where it would go.
template <typename Record>
std::size_t find_slot(const NameTable<Record> &table, std::string_view name, std::uint32_t hash) {
  const std::size_t mask = table.slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint64_t slot = table.slots[i];
    if (slot == 0) return i;
    if (slot_hash(slot) == hash && table.entries[slot_entry(slot) - 1].name == name) return i;
  }
}

// The record of name made by a definition before position, or nullptr.
template <typename Record>
const Record *find_record(const NameTable<Record> &table, std::string_view name, std::uint32_t position) {
  if (table.entries.empty()) return nullptr;
  std::uint32_t entry = slot_entry(table.slots[find_slot(table, name, name_hash(name))]);
  while (entry != 0 && table.entries[entry - 1].defined_at >= position) entry = table.entries[entry - 1].earlier;
  return entry == 0 ? nullptr : &table.records[entry - 1];
}

// Records name as defined at position; a name already in the table keeps
// its earlier entries behind the new one.
template <typename Record>
void set_record(NameTable<Record> &table, std::string_view name, const Record &record, std::uint32_t position) {
  const std::uint32_t hash = name_hash(name);
  // At most half the slots are taken, so that probes stay short. A slot
  // keeps its hash bits, so moving it reads no entry.
  if (2 * (table.entries.size() + 1) > table.slots.size()) {
    std::vector<std::uint64_t> old = std::move(table.slots);
    table.slots.assign(std::max<std::size_t>(64, 2 * old.size()), 0);
    const std::size_t mask = table.slots.size() - 1;
    for (const std::uint64_t slot : old) {
      if (slot == 0) continue;
      std::size_t i = slot_hash(slot) & mask;
      while (table.slots[i] != 0) i = (i + 1) & mask;
      table.slots[i] = slot;
    }
  }
  const std::size_t i = find_slot(table, name, hash);
  const std::uint32_t earlier = slot_entry(table.slots[i]);
  table.entries.push_back({name, position, earlier});
  table.records.push_back(record);
  table.slots[i] = std::uint64_t{hash} << 32 | table.entries.size();
}

// Empties the table; its storage stays for the next use.
template <typename Record>
void clear_table(NameTable<Record> &table) {
  table.entries.clear();
  table.records.clear();
  std::fill(table.slots.begin(), table.slots.end(), 0);
}

// A constant or an enum member defined earlier in the pass.
struct RememberedValue {
  // An enum member's enum; for a constant that comes to an enum member,
  // that member's enum (alias_member names the member).
  std::string_view enum_name;
  // A constant's Java type, and what it comes to when followed through
  // other constants: a number (as written at the end of the chain) or an
  // enum member; both texts empty when neither.
  std::string_view number_text;
  std::string_view alias_member;
  std::optional<NumberValue> value;  // known for numbers and counted enum members
  ConstantType type = ConstantType::Int;
  bool is_enum_member = false;
};

struct RememberedTypedef {
  std::string_view old_type;
  Relation relation = Relation::Plain;
  std::string_view array_bound;  // as the Declaration has it
};

// What the input defines, as far as the Definition being handed over can
// see: each Definition is recorded once it has been handed over and used,
// stamped with its position (0 for the first), and look-ups see only what
// was defined before position, the position of the Definition now handed
// over. A later definition of a name hides the earlier one of the same kind.
//
// A pass over the same text as the one that recorded the memory finds the
// same Definitions at the same positions, so it follows the memory instead
// of recording it again: it only moves position along.
// A type the input defines: a struct, union, enum or typedef.
struct RememberedType {
  DefinitionKind kind = DefinitionKind::Struct;
};

// The first definition of a name: its kind and a hash of its body, by
// which a later definition of the same name is known as a repetition.
struct DefinitionStamp {
  DefinitionKind kind = DefinitionKind::Struct;
  std::uint64_t body_hash = 0;
};

// Names the idiomatic Java output gives some classes (rpc_jout_names.h).
struct JavaClassNames;

struct DefinitionMemory {
  TextPool texts;                     // every text the tables view
  NameTable<RememberedValue> values;  // constants and enum members
  NameTable<RememberedTypedef> typedefs;
  // Every type name the input defines, before or after: recorded as soon as
  // its definition is read, so that it counts in its own definition.
  NameTable<RememberedType> types;
  // The first definition of every name, and for each position whether its
  // definition repeats an earlier one word for word (same kind, name and
  // body): such a repetition says nothing new and writes nothing.
  NameTable<DefinitionStamp> first_definitions;
  std::vector<bool> repeats;
  std::uint32_t position = 0;
  // The memory of a first pass over the whole input, which a pass that
  // records its own (each pass through the preprocessor does) may consult
  // for a type named before its definition; none when the memory is
  // followed, and so holds the whole input itself. Its owner keeps it.
  const DefinitionMemory *whole_input = nullptr;
  // The classes of the idiomatic Java output that take another name than
  // their usual one; none for the default output. The driver keeps them.
  const JavaClassNames *java_classes = nullptr;
};

// The constant or enum member of that name defined earlier, or nullptr.
const RememberedValue *find_value(const DefinitionMemory &memory, std::string_view name);
// The typedef of that name defined earlier, or nullptr.
const RememberedTypedef *find_typedef(const DefinitionMemory &memory, std::string_view name);
// True when the input defines a type of that name anywhere (as far as the
// definitions read so far when the memory is being recorded).
bool defines_type(const DefinitionMemory &memory, std::string_view name);
// Records a Definition; its texts are copied.
void remember_definition(DefinitionMemory &memory, const Definition &def);
// A hash of everything a Definition says: its kind, its name and its body
// as written (type prefixes aside, which change nothing).
std::uint64_t definition_hash(const Definition &def);
// Forgets every definition.
void forget_definitions(DefinitionMemory &memory);

// How a parser uses its memory of definitions: records it afresh (Record),
// or follows one recorded by an earlier pass over the same text (Follow).
enum class MemoryUse { Record, Follow };

// The parser of one pass: reads its scanner's tokens into Definitions, and
// records them in its memory: its own, or one that the caller keeps, for
// its room or to follow it in a later pass.
struct Parser {
  explicit Parser(Scanner &source) : Parser(source, own_memory, MemoryUse::Record) {}
  Parser(Scanner &source, DefinitionMemory &definitions, MemoryUse use)
      : scanner(source), records(use == MemoryUse::Record), memory(definitions) {
    if (records)
      forget_definitions(memory);
    else
      memory.position = 0;
  }
  Parser(const Parser &) = delete;
  Parser &operator=(const Parser &) = delete;

  Scanner &scanner;
  Token token;                    // the token read last
  Definition current_definition;  // the one get_definition hands over
  std::vector<std::optional<NumberValue>> enum_values;  // room for the values of an enum's members
  std::string deferred_error;  // a fault found in the definition being read, reported at its end
  bool handed_over = false;       // current_definition was handed over and is not yet done with
  bool records = true;
  // Keeps the doc comments of definitions, members and procedures in the
  // model (the idiomatic output writes them as Javadoc); off, the model's
  // doc texts stay empty.
  bool keeps_docs = false;
  std::string_view type_doc;  // the doc comment before the type a declaration starts with
  DefinitionMemory own_memory;
  DefinitionMemory &memory;  // the definitions handed over before
};

// The next definition of the input, or nullptr at its end. A syntax error
// ends the run. The Definition is the parser's own and is valid until the
// next call: each one is handed over and used at once, so one record is
// reused for all of them instead of allocating a new one each time. The
// call first records the Definition handed over before in the memory (or,
// following it, only moves its position on).
Definition *get_definition(Parser &parser);

// True when the Definition get_definition handed over last repeats an
// earlier definition of the input word for word.
bool repeats_earlier_definition(const Parser &parser);
