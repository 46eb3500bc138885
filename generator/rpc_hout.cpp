// SPDX-License-Identifier: Apache-2.0
// Java writers for the data types: type mapping, member emitters, and the
// struct, union, enum and typedef classes.
#include "rpc_hout.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "rpc_diag.h"
#include "rpc_number.h"
#include "rpc_util.h"

namespace {

struct TypePair {
  std::string_view from;
  std::string_view to;
};

// Interface-language type to Java type. Every type named in the input has
// no row and maps to its class's name.
constexpr TypePair java_type_table[] = {
    {"long", "int"},     {"opaque", "byte"},   {"bool", "boolean"}, {"enum", "int"},  {"string", "String"},
    {"u_long", "int"},   {"u_short", "short"}, {"u_char", "char"},  {"u_int", "int"}, {"hyper", "long"},
    {"u_hyper", "long"}, {"void", "void"},     {"short", "short"},  {"char", "char"}, {"int", "int"},
    {"float", "float"},  {"double", "double"},
};

// Java type to the runtime's wrapper class; its first column is the set of
// built-in types.
constexpr TypePair wrapper_table[] = {
    {"int", "XDTint"},       {"short", "XDTshort"}, {"boolean", "XDTboolean"}, {"String", "XDTString"},
    {"double", "XDTdouble"}, {"long", "XDTLong"},   {"char", "XDTchar"},       {"byte", "XDTbytes"},
    {"float", "XDTfloat"},   {"void", "XDTvoid"},
};

// The table's text for key, or key itself when no row has it.
std::string_view look_up(const auto &table, std::string_view key) {
  for (const TypePair &row : table) {
    if (row.from == key) return row.to;
  }
  return key;
}

}  // namespace

// ---- Type mapping and naming ----

namespace {

// java_type_table's rows found by a hash of a name's length and first and
// last bytes, which tells every row apart (a clash fails to compile): a
// type name costs one look and at most one short comparison, where a walk
// over the rows would compare it with each.
constexpr std::size_t type_slot_count = 64;
constexpr std::size_t type_slot_of(std::string_view name) {
  return (name.size() * 3 + static_cast<unsigned char>(name.front()) * 6 + static_cast<unsigned char>(name.back())) %
         type_slot_count;
}

constexpr std::array<signed char, type_slot_count> type_slots = [] {
  std::array<signed char, type_slot_count> slots{};
  slots.fill(-1);
  for (std::size_t k = 0; k < std::size(java_type_table); k++) {
    signed char &slot = slots[type_slot_of(java_type_table[k].from)];
    if (slot >= 0) throw "two rows of java_type_table share a slot";
    slot = static_cast<signed char>(k);
  }
  return slots;
}();

}  // namespace

std::string_view java_type_of(std::string_view type_name, std::string &spare) {
  if (!type_name.empty()) {
    const int k = type_slots[type_slot_of(type_name)];
    if (k >= 0 && java_type_table[k].from == type_name) return java_type_table[k].to;
  }
  return java_name(type_name, NameRole::Type, spare);
}

std::string_view wrapper_class_of(std::string_view java_type) { return look_up(wrapper_table, java_type); }

bool is_builtin_type(std::string_view java_type) {
  for (const TypePair &row : wrapper_table) {
    if (row.from == java_type) return true;
  }
  return false;
}

// Array bounds and case values: numbers stay as written, names become
// constants of the interface. Without an interface there is nothing to
// qualify with, which the user is told about.
std::string qualify_bound(std::string_view text, std::string_view interface_name) {
  if (interface_name.empty()) {
    report_internal_error(text);
    return starts_like_number(text) ? std::string(text) : java_name(text, NameRole::Value);
  }
  if (starts_like_number(text)) return std::string(text);
  return format_text("%s.%s", {interface_name, java_name(text, NameRole::Value)});
}

// ---- Names resolved against the definitions before ----
//
// A name that an earlier definition gave a meaning is written where Java
// finds it: an enum member as a constant of its enum's class, a constant
// as a constant of the interface, or, in a file without an interface, as
// the number it comes to.

std::string enum_member_reference(std::string_view enum_name, std::string_view member) {
  return format_text("%s.%s", {java_name(enum_name, NameRole::Type), java_name(member, NameRole::EnumMember)});
}

namespace {

// What an earlier constant comes to without an interface: its number, an
// enum member, or nothing (empty).
std::string constant_without_interface(const RememberedValue &constant, bool int_literal) {
  if (!constant.number_text.empty())
    return int_literal ? java_int_literal(constant.number_text) : std::string(constant.number_text);
  if (!constant.enum_name.empty()) return enum_member_reference(constant.enum_name, constant.alias_member);
  return {};
}

// A name in a bound or an int label, after qualify_bound gave `qualified`.
std::string resolve_qualified(std::string_view name, std::string qualified, const DefinitionMemory &memory,
                              std::string_view interface_name, bool int_literal) {
  const RememberedValue *named = find_value(memory, name);
  if (named == nullptr) return qualified;
  if (named->is_enum_member) return enum_member_reference(named->enum_name, name);
  if (interface_name.empty()) {
    std::string resolved = constant_without_interface(*named, int_literal);
    if (!resolved.empty()) return resolved;
  }
  return qualified;
}

}  // namespace

std::string bound_text(std::string_view bound, const DefinitionMemory &memory, std::string_view interface_name) {
  std::string qualified = qualify_bound(bound, interface_name);
  if (starts_like_number(bound)) return qualified;
  return resolve_qualified(bound, std::move(qualified), memory, interface_name, false);
}

std::string value_text(std::string_view value, const DefinitionMemory &memory, std::string_view interface_name) {
  if (starts_like_number(value)) return java_int_literal(value);
  const RememberedValue *named = find_value(memory, value);
  if (named == nullptr) return java_name(value, NameRole::Value);
  if (named->is_enum_member) return enum_member_reference(named->enum_name, value);
  if (!interface_name.empty()) return format_text("%s.%s", {interface_name, java_name(value, NameRole::Value)});
  std::string resolved = constant_without_interface(*named, true);
  return resolved.empty() ? java_name(value, NameRole::Value) : resolved;
}

// ---- Member emitters ----

namespace {

// The shared first steps; returns false for a void member, which writes
// nothing at all.
bool begin_member(JavaOutput &out, Declaration &decl, int depth) {
  if (decl.type == "void") return false;
  emit_tabs(out, depth);
  if (decl.type == "string") decl.relation = Relation::Plain;
  return true;
}

void set_member_java(MemberJava &names, const Declaration &decl) {
  names.type = java_type_of(decl.type, names.type_spare);
  names.name = java_name(decl.name, NameRole::Member, names.name_spare);
}

// emit_field_declaration with the member's names looked up already.
void field_declaration(JavaOutput &out, Declaration &decl, int depth, const MemberJava &names,
                       const DefinitionMemory &memory, std::string_view interface_name) {
  if (!begin_member(out, decl, depth)) return;
  const std::string_view j = names.type;
  const std::string_view name = names.name;
  // The blank before "[]" is part of the output format.
  switch (decl.relation) {
    case Relation::Plain:
      if (is_builtin_type(j))
        emit_format(out, "public %s%s %s;\n", {"", j, name});
      else
        emit_format(out, "public %s%s %s = new %s%s();\n", {"", j, name, "", j});
      break;
    case Relation::VarArray: emit_format(out, "public %s%s [] %s;\n", {"", j, name}); break;
    case Relation::FixedArray:
      emit_format(out, "public %s%s [] %s = new %s%s[%s];\n",
                  {"", j, name, "", j, bound_text(decl.array_bound, memory, interface_name)});
      break;
    case Relation::Pointer: emit_format(out, "public %s%s %s;\n", {"", wrapper_class_of(j), name}); break;
  }
}

// One statement text, and which value fills each of its places in order:
// "n" the member's name, "j" its Java type, "r" the class a pointer refers
// to (the wrapper class of a built-in type, or the generated class itself).
struct MemberText {
  FormatText format;
  std::string_view places;
};

// The encode and the decode statement of one member shape.
struct MemberTexts {
  MemberText encode;
  MemberText decode;
};

// What a member's Java type is, as far as its statements go: a built-in
// type, byte (which has statements of its own for variable arrays only, and
// is a built-in type in every other row), or a generated class.
enum class TypeShape { Builtin = 0, Byte = 1, Class = 2 };

// Row by Relation (FixedArray, VarArray, Pointer, Plain), column by
// TypeShape.
constexpr MemberTexts member_texts[4][3] = {
    // FixedArray
    {{{"xdrs.xdr_%s_vec(%s);\n", "jn"}, {"xdrs.xdr_%s_vec(%s);\n", "jn"}},
     {{"xdrs.xdr_%s_vec(%s);\n", "jn"}, {"xdrs.xdr_%s_vec(%s);\n", "jn"}},
     {{"xdrs.xdr_vec(%s, null);\n", "n"}, {"xdrs.xdr_vec(%s, new %s());\n", "nj"}}},
    // VarArray
    {{{"xdrs.enc_%s_array(%s);\n", "jn"}, {"%s = xdrs.dec_%s_array();\n", "nj"}},
     {{"xdrs.enc_bytes(%s);\n", "n"}, {"%s = xdrs.dec_bytes();\n", "n"}},
     {{"xdrs.enc_array(%s);\n", "n"}, {"%s = (%s[]) xdrs.dec_array(new %s());\n", "njj"}}},
    // Pointer
    {{{"xdrs.enc_ref(%s);\n", "n"}, {"%s = (%s) xdrs.dec_ref(new %s());\n", "nrr"}},
     {{"xdrs.enc_ref(%s);\n", "n"}, {"%s = (%s) xdrs.dec_ref(new %s());\n", "nrr"}},
     {{"xdrs.enc_ref(%s);\n", "n"}, {"%s = (%s) xdrs.dec_ref(new %s());\n", "nrr"}}},
    // Plain
    {{{"xdrs.enc_%s(%s);\n", "jn"}, {"%s = xdrs.dec_%s();\n", "nj"}},
     {{"xdrs.enc_%s(%s);\n", "jn"}, {"%s = xdrs.dec_%s();\n", "nj"}},
     {{"%s.xdr(xdrs);\n", "n"}, {"%s.xdr(xdrs);\n", "n"}}},
};

// The statements of one member, encoding or decoding, from the table, with
// the member's names looked up already.
void member_statement(JavaOutput &out, Declaration &decl, int depth, bool encode, const MemberJava &names) {
  if (!begin_member(out, decl, depth)) return;
  const std::string_view j = names.type;
  const std::string_view name = names.name;
  const bool builtin = is_builtin_type(j);
  const TypeShape shape = !builtin                                             ? TypeShape::Class
                          : decl.relation == Relation::VarArray && j == "byte" ? TypeShape::Byte
                                                                               : TypeShape::Builtin;
  const MemberTexts &texts = member_texts[static_cast<int>(decl.relation)][static_cast<int>(shape)];
  const MemberText &text = encode ? texts.encode : texts.decode;
  const std::string_view referred = decl.relation == Relation::Pointer && builtin ? wrapper_class_of(j) : j;
  auto value = [&](char place) -> std::string_view { return place == 'n' ? name : place == 'j' ? j : referred; };
  const std::string_view places = text.places;
  switch (places.size()) {
    case 1: emit_format(out, text.format, {value(places[0])}); break;
    case 2: emit_format(out, text.format, {value(places[0]), value(places[1])}); break;
    default: emit_format(out, text.format, {value(places[0]), value(places[1]), value(places[2])}); break;
  }
}

// The names of one member, in the output's room for them.
const MemberJava &member_java(JavaOutput &out, const Declaration &decl) {
  MemberJava &names = out.one_member;
  set_member_java(names, decl);
  return names;
}

}  // namespace

void emit_field_declaration(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                            std::string_view interface_name) {
  if (decl.type == "void") return;
  field_declaration(out, decl, depth, member_java(out, decl), memory, interface_name);
}

void emit_encode_statement(JavaOutput &out, Declaration &decl, int depth) {
  if (decl.type == "void") return;
  member_statement(out, decl, depth, true, member_java(out, decl));
}

void emit_decode_statement(JavaOutput &out, Declaration &decl, int depth) {
  if (decl.type == "void") return;
  member_statement(out, decl, depth, false, member_java(out, decl));
}

// ---- Data-type class files ----

namespace {

// No blank before the closing braces: part of the output format.
void emit_class_methods(JavaOutput &out, std::string_view name) {
  emit_format(out,
              "\n\tpublic XDT Clone() { return new %s();}\n\n"
              "\tpublic XDT [] getArray(int len) { return new %s[len];}\n\n",
              {name, name});
}

// What a union's switch statements select on.
enum class SwitchKind {
  Int = 0,   // an int-like value, labels as ints
  Bool = 1,  // "? 1 : 0" of a boolean; TRUE and FALSE label 1 and 0
  Long = 2,  // the decimal text of a 64-bit value, labels as its texts
  Enum = 3,  // the int of an enum object, labels as constants of its class
};

struct UnionSwitch {
  SwitchKind kind = SwitchKind::Int;
  std::string selector;    // the switch expression
  std::string enum_class;  // Enum: the class of its labels
};

// The discriminant's type is followed through the plain typedefs before it:
// each is a class whose field "value" holds the type it names. A typedef of
// another shape cannot be a discriminant and is taken as it stands. Java
// has no switch on a long, so a 64-bit value is switched on as its decimal
// text, which keeps one label per arm value and selects by all 64 bits.
UnionSwitch union_switch(const Declaration &disc, const DefinitionMemory &memory) {
  std::string_view type = disc.type;
  std::size_t hops = 0;
  for (const RememberedTypedef *alias = find_typedef(memory, type);
       alias != nullptr && alias->old_type != type && hops <= memory.typedefs.entries.size();
       alias = find_typedef(memory, type)) {
    if (alias->relation != Relation::Plain) {
      type = disc.type;
      hops = 0;
      break;
    }
    type = alias->old_type;
    hops++;
  }
  std::string path = java_name(disc.name, NameRole::Member);
  for (std::size_t i = 0; i < hops; i++) path += ".value";

  UnionSwitch sw;
  std::string type_spare;
  const std::string java_type(java_type_of(type, type_spare));
  // A void discriminant has no value: the arm of 0 is always taken.
  if (java_type == "void") {
    sw.selector.push_back('0');
  } else if (java_type == "boolean") {
    sw.kind = SwitchKind::Bool;
    sw.selector = format_text("%s ? 1 : 0", {path});
  } else if (java_type == "long") {
    sw.kind = SwitchKind::Long;
    sw.selector = format_text("\"\" + %s", {path});
  } else if (is_builtin_type(java_type)) {
    sw.selector = std::move(path);
  } else {
    sw.kind = SwitchKind::Enum;
    sw.selector = format_text("%s.value", {path});
    sw.enum_class = java_type;
  }
  return sw;
}

std::string int_label(std::string_view label, const DefinitionMemory &memory, std::string_view interface_name) {
  std::string qualified = qualify_bound(label, interface_name);
  if (starts_like_number(label)) return java_int_literal(label);
  return resolve_qualified(label, std::move(qualified), memory, interface_name, true);
}

// A 64-bit label: a constant with a known number is written as that number,
// so that an unsigned 32-bit constant is not taken as a negative int.
std::string long_label(std::string_view label, const DefinitionMemory &memory, std::string_view interface_name) {
  std::string qualified = qualify_bound(label, interface_name);
  std::string text;
  const RememberedValue *named = starts_like_number(label) ? nullptr : find_value(memory, label);
  if (starts_like_number(label))
    text = java_long_literal(label);
  else if (named != nullptr && named->is_enum_member)
    text = enum_member_reference(named->enum_name, label);
  else if (named != nullptr && !named->number_text.empty())
    text = java_long_literal(named->number_text);
  else if (named != nullptr && !named->enum_name.empty())
    text = enum_member_reference(named->enum_name, named->alias_member);
  else
    text = std::move(qualified);
  return format_text("\"\" + %s", {text});
}

// Labels of an enum discriminant: a member of an enum as a constant of its
// class, a constant as one of the interface, any other name as a constant
// of the discriminant's enum.
std::string enum_label(std::string_view label, std::string_view enum_class, const DefinitionMemory &memory,
                       std::string_view interface_name) {
  if (starts_like_number(label)) {
    qualify_bound(label, interface_name);
    return java_int_literal(label);
  }
  if (const RememberedValue *named = find_value(memory, label)) {
    if (named->is_enum_member) return enum_member_reference(named->enum_name, label);
    if (!interface_name.empty()) return format_text("%s.%s", {interface_name, java_name(label, NameRole::Value)});
    std::string resolved = constant_without_interface(*named, true);
    if (!resolved.empty()) return resolved;
  }
  return format_text("%s.%s", {enum_class, java_name(label, NameRole::EnumMember)});
}

// The switch label of one union arm value.
std::string union_case_label(std::string_view value, const UnionSwitch &sw, const DefinitionMemory &memory,
                             std::string_view interface_name) {
  std::string_view label = value;
  if (sw.kind == SwitchKind::Bool && label == "TRUE") label = "1";
  if (sw.kind == SwitchKind::Bool && label == "FALSE") label = "0";
  std::string text;
  switch (sw.kind) {
    case SwitchKind::Int:
    case SwitchKind::Bool: text = int_label(label, memory, interface_name); break;
    case SwitchKind::Long: text = long_label(label, memory, interface_name); break;
    case SwitchKind::Enum: text = enum_label(label, sw.enum_class, memory, interface_name); break;
  }
  return format_text("\t\t\tcase %s:\n", {text});
}

bool has_default_member(const Definition &def) {
  return def.default_arm.has_value() && def.default_arm->type != "void";
}

}  // namespace

void emit_struct_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name) {
  const std::string class_name = java_name(def.name, NameRole::Type);
  open_java_file(out, class_name);
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class %s implements XDT{\n",
              {class_name});
  // Each member's names serve its three lines. Sized before any name is
  // looked up, the list does not move while its views are in use.
  std::vector<MemberJava> &names = out.member_names;
  const std::size_t count = def.members.size();
  names.resize(count);
  for (std::size_t i = 0; i < count; i++) set_member_java(names[i], def.members[i]);
  for (std::size_t i = 0; i < count; i++) field_declaration(out, def.members[i], 1, names[i], memory, interface_name);
  emit_class_methods(out, class_name);
  // No blank before the brace, unlike the union's: part of the output format.
  emit(out,
       "\tpublic void xdr(XDR xdrs) throws XDRError{\n"
       "\t\tswitch(xdrs.xdr_op){\n"
       "\t\tcase XDR.XDR_ENCODE:\n");
  for (std::size_t i = 0; i < count; i++) member_statement(out, def.members[i], 2, true, names[i]);
  emit(out,
       "\t\tbreak;\n\n"
       "\t\tcase XDR.XDR_DECODE:\n");
  for (std::size_t i = 0; i < count; i++) member_statement(out, def.members[i], 2, false, names[i]);
  emit(out,
       "\t\tbreak;\n\n"
       "\t\t}\n\t}\n"
       "};\n");
  close_java_file(out);
}

void emit_union_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                      std::string_view interface_name) {
  Declaration &disc = def.discriminant;
  const UnionSwitch sw = union_switch(disc, memory);
  const std::string class_name = java_name(def.name, NameRole::Type);

  open_java_file(out, class_name);
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class %s implements XDT{\n",
              {class_name});
  emit_field_declaration(out, disc, 1, memory, interface_name);
  for (UnionCase &arm : def.cases) emit_field_declaration(out, arm.declaration, 1, memory, interface_name);
  if (has_default_member(def)) emit_field_declaration(out, *def.default_arm, 1, memory, interface_name);
  emit_class_methods(out, class_name);
  // The two extra line feeds are part of the output format.
  emit(out,
       "\n\n\tpublic void xdr(XDR xdrs) throws XDRError {\n"
       "\t\tswitch(xdrs.xdr_op){\n");

  const bool encoding[] = {true, false};
  for (bool encode : encoding) {
    auto emit_statement = encode ? emit_encode_statement : emit_decode_statement;
    emit(out, encode ? "\t\tcase XDR.XDR_ENCODE:\n" : "\t\tcase XDR.XDR_DECODE:\n");
    emit_statement(out, disc, 3);
    emit_format(out, "\t\t\tswitch(%s){\n", {sw.selector});
    for (UnionCase &arm : def.cases) {
      // An arm of several labels has one label line each, then its
      // statement once.
      for (std::string_view value : arm_labels(def, arm))
        emit(out, union_case_label(value, sw, memory, interface_name));
      emit_statement(out, arm.declaration, 3);
      emit(out, "\t\t\tbreak;\n");
    }
    emit(out, "\t\t\tdefault:\n");
    if (has_default_member(def)) emit_statement(out, *def.default_arm, 3);
    emit(out,
         "\t\t\tbreak;\n\n"
         "\t\t\t}\n"
         "\t\tbreak;\n\n");
  }
  // The ";" after the switch's brace is part of the output format.
  emit(out,
       "\t\t};\n\n"
       "\t}\n\n"
       "};\n");
  close_java_file(out);
}

// Members without a value count on from the last explicit value, or from 0.
void emit_enum_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                     std::string_view interface_name) {
  const std::string class_name = java_name(def.name, NameRole::Type);
  open_java_file(out, class_name);
  // The two blanks on each side of the name are part of the output format.
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class  %s  extends XDTint {\n",
              {class_name});
  std::string last_value;
  bool has_last_value = false;
  long long counter = 0;
  std::string name_spare;
  for (const EnumMember &member : def.enum_members) {
    emit_format(out, "\tpublic static final int %s", {java_name(member.name, NameRole::EnumMember, name_spare)});
    if (member.value) {
      last_value = value_text(*member.value, memory, interface_name);
      has_last_value = true;
      emit_format(out, " = %s", {last_value});
      counter = 1;
    } else if (has_last_value) {
      emit_format(out, " = %s + %d", {last_value, std::to_string(counter)});
      counter++;
    } else {
      emit_format(out, " = %d", {std::to_string(counter)});
      counter++;
    }
    emit(out, ";\n");
  }
  emit_class_methods(out, class_name);
  emit(out, "};\n");
  close_java_file(out);
}

// A typedef becomes a struct class with the single member "value"; one that
// names a type after itself needs no class of its own.
void emit_typedef_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                        std::string_view interface_name) {
  if (def.old_type == def.name) return;
  Definition alias;
  alias.kind = DefinitionKind::Struct;
  alias.name = def.name;
  Declaration value;
  value.type = def.old_type;
  value.name = "value";
  value.relation = def.relation;
  value.array_bound = def.array_bound;
  alias.members.push_back(std::move(value));
  emit_struct_class(out, alias, memory, interface_name);
}
