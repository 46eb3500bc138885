// SPDX-License-Identifier: Apache-2.0
// The data-type class writers: the member emitters, and the struct, union,
// enum and typedef classes.
#include "rpc_hout_class.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "rpc_hout_refs.h"
#include "rpc_hout_types.h"
#include "rpc_util.h"

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

void set_member_java(MemberJava &names, const Declaration &decl, const DefinitionMemory &memory) {
  names.type = java_type_of(decl.type, names.type_spare, memory);
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

// The statement texts of the member shapes. A place in braces is filled
// with: {name} the member's Java name, {java} its Java type, {stem} the
// codec stem of its built-in type, {ref} the class a pointer refers to (the
// wrapper class of a built-in type, or the generated class itself), {size}
// the declared size as Java text, {label} the member's Java name as a
// string literal, for the runtime's errors.
//
// The texts are cut at their places once, when the program is compiled.
enum class MemberPlace : char { Name, Java, Stem, Ref, Size, Label };

struct MemberText {
  struct Piece {
    std::string_view text;  // written before the place
    MemberPlace place = MemberPlace::Name;
  };
  std::array<Piece, 8> pieces{};
  std::size_t count = 0;
  std::string_view tail;  // after the last place

  // Every place is one of the six, told by its first letters, and a text
  // holds no other brace.
  // The tables are written as literals.
  template <std::size_t N>
  constexpr MemberText(const char (&literal)[N]) : MemberText(std::string_view(literal, N - 1)) {}
  explicit constexpr MemberText(std::string_view text) {
    std::size_t done = 0;
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', done)) {
      const char first = text[open + 1];
      const MemberPlace place = first == 'n'   ? MemberPlace::Name
                                : first == 'j' ? MemberPlace::Java
                                : first == 'r' ? MemberPlace::Ref
                                : first == 'l' ? MemberPlace::Label
                                : text[open + 2] == 't' ? MemberPlace::Stem
                                                        : MemberPlace::Size;
      pieces.at(count++) = {text.substr(done, open - done), place};
      done = text.find('}', open) + 1;
    }
    tail = text.substr(done);
  }
};

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
    // FixedArray: always of a declared length, which the runtime holds it to.
    {{"xdrs.xdr_{stem}_vec({name}, {size}, {label});\n", "xdrs.xdr_{stem}_vec({name}, {size}, {label});\n"},
     {"xdrs.xdr_{stem}_vec({name}, {size}, {label});\n", "xdrs.xdr_{stem}_vec({name}, {size}, {label});\n"},
     {"xdrs.xdr_vec({name}, null, {size}, {label});\n", "xdrs.xdr_vec({name}, new {java}(), {size}, {label});\n"}},
    // VarArray without a maximum ("<>").
    {{"xdrs.enc_{stem}_array({name});\n", "{name} = xdrs.dec_{stem}_array();\n"},
     {"xdrs.enc_bytes({name});\n", "{name} = xdrs.dec_bytes();\n"},
     {"xdrs.enc_array({name});\n", "{name} = ({java}[]) xdrs.dec_array(new {java}());\n"}},
    // Pointer
    {{"xdrs.enc_ref({name});\n", "{name} = ({ref}) xdrs.dec_ref(new {ref}());\n"},
     {"xdrs.enc_ref({name});\n", "{name} = ({ref}) xdrs.dec_ref(new {ref}());\n"},
     {"xdrs.enc_ref({name});\n", "{name} = ({ref}) xdrs.dec_ref(new {ref}());\n"}},
    // Plain (a string of any shape without a maximum)
    {{"xdrs.enc_{stem}({name});\n", "{name} = xdrs.dec_{stem}();\n"},
     {"xdrs.enc_{stem}({name});\n", "{name} = xdrs.dec_{stem}();\n"},
     {"{name}.xdr(xdrs);\n", "{name}.xdr(xdrs);\n"}},
};

// VarArray with a maximum, by TypeShape, and a string with one.
constexpr MemberTexts bounded_array_texts[3] = {
    {"xdrs.enc_{stem}_array({name}, {size}, {label});\n", "{name} = xdrs.dec_{stem}_array({size}, {label});\n"},
    {"xdrs.enc_bytes({name}, {size}, {label});\n", "{name} = xdrs.dec_bytes({size}, {label});\n"},
    {"xdrs.enc_array({name}, {size}, {label});\n",
     "{name} = ({java}[]) xdrs.dec_array(new {java}(), {size}, {label});\n"},
};
constexpr MemberTexts bounded_string_texts = {"xdrs.enc_String({name}, {size}, {label});\n",
                                              "{name} = xdrs.dec_String({size}, {label});\n"};

// The values of a statement's places. The label is the member's name in
// quotes, written around name where the text has {label}.
struct MemberPlaces {
  std::string_view name, java, stem, ref, size;
};

std::string_view place_value(MemberPlace place, const MemberPlaces &places) {
  switch (place) {
    case MemberPlace::Name: return places.name;
    case MemberPlace::Java: return places.java;
    case MemberPlace::Stem: return places.stem;
    case MemberPlace::Ref: return places.ref;
    case MemberPlace::Size: return places.size;
    case MemberPlace::Label: break;
  }
  return places.name;  // in quotes
}

char *put(char *to, std::string_view text) {
  if (!text.empty()) std::memcpy(to, text.data(), text.size());
  return to + text.size();
}

// Writes text with each place filled in, into room taken once.
void emit_member_text(JavaOutput &out, const MemberText &text, const MemberPlaces &places) {
  std::size_t length = text.tail.size();
  for (std::size_t i = 0; i < text.count; i++) {
    const MemberText::Piece &piece = text.pieces[i];
    length += piece.text.size() + place_value(piece.place, places).size() + (piece.place == MemberPlace::Label ? 2 : 0);
  }
  TextBuffer &buffer = out.output_text;
  char *to = take_room(buffer, length);
  for (std::size_t i = 0; i < text.count; i++) {
    const MemberText::Piece &piece = text.pieces[i];
    to = put(to, piece.text);
    if (piece.place == MemberPlace::Label) *to++ = '"';
    to = put(to, place_value(piece.place, places));
    if (piece.place == MemberPlace::Label) *to++ = '"';
  }
  put(to, text.tail);
  buffer.size += length;
}

// True when a variable-length member or string has a declared maximum.
bool has_maximum(const Declaration &decl) { return !decl.array_bound.empty() && decl.array_bound != "~0"; }

// The statements of one member, encoding or decoding, from the tables, with
// the member's names looked up already. A string member has turned Plain
// (begin_member) but keeps its bound.
void member_statement(JavaOutput &out, Declaration &decl, int depth, bool encode, const MemberJava &names,
                      const DefinitionMemory &memory, std::string_view interface_name) {
  if (!begin_member(out, decl, depth)) return;
  const std::string_view j = names.type;
  const BuiltinType *builtin = builtin_of_java(j);
  const TypeShape shape = builtin == nullptr                                   ? TypeShape::Class
                          : decl.relation == Relation::VarArray && j == "byte" ? TypeShape::Byte
                                                                               : TypeShape::Builtin;
  const bool is_string = decl.type == "string";
  std::optional<std::string> maximum;
  if ((decl.relation == Relation::VarArray || is_string) && has_maximum(decl))
    maximum = size_text(decl.array_bound, memory, interface_name);
  const bool sized = decl.relation == Relation::FixedArray || maximum.has_value();
  const MemberTexts *texts = &member_texts[static_cast<int>(decl.relation)][static_cast<int>(shape)];
  if (maximum) texts = is_string ? &bounded_string_texts : &bounded_array_texts[static_cast<int>(shape)];
  std::string size;
  if (sized) size = maximum ? *std::move(maximum) : bound_text(decl.array_bound, memory, interface_name, false);
  MemberPlaces places;
  places.name = names.name;
  places.java = j;
  places.stem = builtin != nullptr ? builtin->codec_stem : j;
  places.ref = decl.relation == Relation::Pointer && builtin != nullptr ? builtin->wrapper : j;
  places.size = size;
  emit_member_text(out, encode ? texts->encode : texts->decode, places);
}

// The names of one member, in the output's room for them.
const MemberJava &member_java(JavaOutput &out, const Declaration &decl, const DefinitionMemory &memory) {
  MemberJava &names = out.one_member;
  set_member_java(names, decl, memory);
  return names;
}

}  // namespace

void emit_field_declaration(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                            std::string_view interface_name) {
  if (decl.type == "void") return;
  field_declaration(out, decl, depth, member_java(out, decl, memory), memory, interface_name);
}

void emit_encode_statement(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                           std::string_view interface_name) {
  if (decl.type == "void") return;
  member_statement(out, decl, depth, true, member_java(out, decl, memory), memory, interface_name);
}

void emit_decode_statement(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                           std::string_view interface_name) {
  if (decl.type == "void") return;
  member_statement(out, decl, depth, false, member_java(out, decl, memory), memory, interface_name);
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
UnionSwitch union_switch(const Declaration &disc, std::string_view disc_java_name, const DefinitionMemory &memory) {
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
  std::string path(disc_java_name);
  for (std::size_t i = 0; i < hops; i++) path += ".value";

  UnionSwitch sw;
  std::string type_spare;
  const std::string java_type(java_type_of(type, type_spare, memory));
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

// The switch label of one union arm value.
std::string union_case_label(std::string_view value, const UnionSwitch &sw, const DefinitionMemory &memory,
                             std::string_view interface_name, bool report) {
  std::string_view label = value;
  if (sw.kind == SwitchKind::Bool && label == "TRUE") label = "1";
  if (sw.kind == SwitchKind::Bool && label == "FALSE") label = "0";
  std::string text;
  switch (sw.kind) {
    case SwitchKind::Int:
    case SwitchKind::Bool: text = int_label(label, memory, interface_name, report); break;
    case SwitchKind::Long: text = long_label(label, memory, interface_name, report); break;
    case SwitchKind::Enum: text = enum_label(label, sw.enum_class, memory, interface_name, report); break;
  }
  return format_text("\t\t\tcase %s:\n", {text});
}

bool has_default_member(const Definition &def) {
  return def.default_arm.has_value() && def.default_arm->type != "void";
}

}  // namespace

namespace {

// The names that a text qualifies something with: each name right before a
// ".". A string literal in it holds no ".".
void add_qualifiers(std::string_view text, std::vector<std::string> &qualifiers) {
  auto word_byte = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
  };
  for (std::size_t dot = text.find('.'); dot != std::string_view::npos; dot = text.find('.', dot + 1)) {
    std::size_t start = dot;
    while (start > 0 && word_byte(text[start - 1])) start--;
    if (start < dot) qualifiers.emplace_back(text.substr(start, dot - start));
  }
}

// The qualifiers of a member's bound, in its declaration or its statements.
void add_bound_qualifiers(const Declaration &decl, const DefinitionMemory &memory, std::string_view interface_name,
                          std::vector<std::string> &qualifiers) {
  if (decl.type == "void") return;
  if (decl.relation == Relation::FixedArray)
    add_qualifiers(bound_text(decl.array_bound, memory, interface_name, false), qualifiers);
  else if ((decl.relation == Relation::VarArray || decl.type == "string") && has_maximum(decl))
    if (std::optional<std::string> size = size_text(decl.array_bound, memory, interface_name))
      add_qualifiers(*size, qualifiers);
}

// A field named like a class that the class's text qualifies a bound or a
// label with would hide that class there: such a field gets a "_", or as
// many as it takes to be no other member's name and hide nothing.
void keep_qualifiers_visible(std::vector<MemberJava> &names, const std::vector<std::string> &qualifiers) {
  auto taken = [&](std::string_view name) {
    return std::find(qualifiers.begin(), qualifiers.end(), name) != qualifiers.end() ||
           std::any_of(names.begin(), names.end(), [&](const MemberJava &other) { return other.name == name; });
  };
  for (MemberJava &member : names) {
    if (std::find(qualifiers.begin(), qualifiers.end(), member.name) == qualifiers.end()) continue;
    std::string renamed(member.name);
    do {
      renamed.push_back('_');
    } while (taken(renamed));
    member.name_spare = std::move(renamed);
    member.name = member.name_spare;
  }
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
  for (std::size_t i = 0; i < count; i++) set_member_java(names[i], def.members[i], memory);
  std::vector<std::string> qualifiers;
  for (const Declaration &member : def.members) add_bound_qualifiers(member, memory, interface_name, qualifiers);
  keep_qualifiers_visible(names, qualifiers);
  for (std::size_t i = 0; i < count; i++) field_declaration(out, def.members[i], 1, names[i], memory, interface_name);
  emit_class_methods(out, class_name);
  // No blank before the brace, unlike the union's: part of the output format.
  emit(out,
       "\tpublic void xdr(XDR xdrs) throws XDRError{\n"
       "\t\tswitch(xdrs.xdr_op){\n"
       "\t\tcase XDR.XDR_ENCODE:\n");
  for (std::size_t i = 0; i < count; i++)
    member_statement(out, def.members[i], 2, true, names[i], memory, interface_name);
  emit(out,
       "\t\tbreak;\n\n"
       "\t\tcase XDR.XDR_DECODE:\n");
  for (std::size_t i = 0; i < count; i++)
    member_statement(out, def.members[i], 2, false, names[i], memory, interface_name);
  emit(out,
       "\t\tbreak;\n\n"
       "\t\t}\n\t}\n"
       "};\n");
  close_java_file(out);
}

void emit_union_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                      std::string_view interface_name) {
  // The declarations in order: the discriminant, the arms, the default arm;
  // each one's names serve its three lines. Sized before any name is looked
  // up, the list does not move while its views are in use.
  std::vector<Declaration *> decls;
  decls.push_back(&def.discriminant);
  for (UnionCase &arm : def.cases) decls.push_back(&arm.declaration);
  if (has_default_member(def)) decls.push_back(&*def.default_arm);
  std::vector<MemberJava> &names = out.member_names;
  names.resize(decls.size());
  for (std::size_t i = 0; i < decls.size(); i++) set_member_java(names[i], *decls[i], memory);

  Declaration &disc = def.discriminant;
  UnionSwitch sw = union_switch(disc, names[0].name, memory);
  std::vector<std::string> qualifiers;
  for (const UnionCase &arm : def.cases) {
    for (std::string_view value : arm_labels(def, arm)) {
      add_qualifiers(union_case_label(value, sw, memory, interface_name, false), qualifiers);
    }
  }
  for (const Declaration *decl : decls) add_bound_qualifiers(*decl, memory, interface_name, qualifiers);
  keep_qualifiers_visible(names, qualifiers);
  sw = union_switch(disc, names[0].name, memory);
  const std::string class_name = java_name(def.name, NameRole::Type);

  open_java_file(out, class_name);
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class %s implements XDT{\n",
              {class_name});
  for (std::size_t i = 0; i < decls.size(); i++) {
    if (decls[i]->type != "void") field_declaration(out, *decls[i], 1, names[i], memory, interface_name);
  }
  emit_class_methods(out, class_name);
  // The two extra line feeds are part of the output format.
  emit(out,
       "\n\n\tpublic void xdr(XDR xdrs) throws XDRError {\n"
       "\t\tswitch(xdrs.xdr_op){\n");

  const bool encoding[] = {true, false};
  for (bool encode : encoding) {
    auto statement = [&](std::size_t i) {
      if (decls[i]->type != "void") member_statement(out, *decls[i], 3, encode, names[i], memory, interface_name);
    };
    emit(out, encode ? "\t\tcase XDR.XDR_ENCODE:\n" : "\t\tcase XDR.XDR_DECODE:\n");
    statement(0);
    emit_format(out, "\t\t\tswitch(%s){\n", {sw.selector});
    for (std::size_t k = 0; k < def.cases.size(); k++) {
      // An arm of several labels has one label line each, then its
      // statement once.
      for (std::string_view value : arm_labels(def, def.cases[k]))
        emit(out, union_case_label(value, sw, memory, interface_name, true));
      statement(k + 1);
      emit(out, "\t\t\tbreak;\n");
    }
    emit(out, "\t\t\tdefault:\n");
    if (has_default_member(def)) statement(decls.size() - 1);
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
      // An earlier member of this enum is a constant of this class, which
      // the memory does not hold yet.
      const bool own_member = std::any_of(static_cast<const EnumMember *>(def.enum_members.data()), &member,
                                          [&](const EnumMember &earlier) { return earlier.name == *member.value; });
      last_value = own_member ? java_name(*member.value, NameRole::EnumMember)
                              : value_text(*member.value, memory, interface_name);
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
