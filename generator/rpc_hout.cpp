// Java writers for the data types: type mapping, the output, member
// emitters, the common file head, and the struct, union, enum and typedef
// classes.
#include "rpc_hout.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>
#include <utility>

#include "rpc_diag.h"
#include "rpc_signal.h"

namespace {

struct TypePair {
  std::string_view from;
  std::string_view to;
};

// Interface-language type to Java type. "float", "double" and every type
// named in the input have no row and map to themselves.
constexpr TypePair java_type_table[] = {
    {"long", "int"},     {"opaque", "byte"},   {"bool", "boolean"}, {"enum", "int"},  {"string", "String"},
    {"u_long", "int"},   {"u_short", "short"}, {"u_char", "char"},  {"u_int", "int"}, {"hyper", "long"},
    {"u_hyper", "long"}, {"void", "void"},     {"short", "short"},  {"char", "char"}, {"int", "int"},
};

// Java type to the runtime's wrapper class; its first column is the set of
// built-in types.
constexpr TypePair wrapper_table[] = {
    {"int", "XDTint"},       {"short", "XDTshort"}, {"boolean", "XDTboolean"}, {"String", "XDTString"},
    {"double", "XDTdouble"}, {"long", "XDTLong"},   {"char", "XDTchar"},       {"byte", "XDTbytes"},
    {"float", "XDTfloat"},   {"void", "XDTvoid"},
};

// A number is a digit, or "-" and a digit; everything else is a name.
bool starts_like_number(std::string_view text) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return (!text.empty() && digit(text[0])) || (text.size() > 1 && text[0] == '-' && digit(text[1]));
}

// The table's text for key, or key itself when no row has it.
std::string_view look_up(const auto &table, std::string_view key) {
  for (const TypePair &row : table) {
    if (row.from == key) return row.to;
  }
  return key;
}

}  // namespace

// The text of the file being generated is gathered in memory and written
// in one piece when the file is closed.
void emit(JavaOutput &out, std::string_view text) { append_text(out.output_text, text); }

void emit_format(JavaOutput &out, const FormatText &format, std::initializer_list<std::string_view> args) {
  append_format(out.output_text, format, args);
}

void emit_tabs(JavaOutput &out, int count) {
  if (count > 0) append_tabs(out.output_text, static_cast<std::size_t>(count));
}

// ---- Type mapping and naming ----

std::string_view java_type_of(std::string_view type_name) { return look_up(java_type_table, type_name); }

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
    return std::string(text);
  }
  if (starts_like_number(text)) return std::string(text);
  return format_text("%s.%s", {interface_name, text});
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

}  // namespace

void emit_field_declaration(JavaOutput &out, Declaration &decl, int depth, std::string_view interface_name) {
  if (!begin_member(out, decl, depth)) return;
  const std::string_view j = java_type_of(decl.type);
  const std::string_view name = decl.name;
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
                  {"", j, name, "", j, qualify_bound(decl.array_bound, interface_name)});
      break;
    case Relation::Pointer: emit_format(out, "public %s%s %s;\n", {"", wrapper_class_of(j), name}); break;
  }
}

namespace {

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

// The statements of one member, encoding or decoding, from the table.
void emit_member_statement(JavaOutput &out, Declaration &decl, int depth, bool encode) {
  if (!begin_member(out, decl, depth)) return;
  const std::string_view j = java_type_of(decl.type);
  const bool builtin = is_builtin_type(j);
  const TypeShape shape = !builtin                                             ? TypeShape::Class
                          : decl.relation == Relation::VarArray && j == "byte" ? TypeShape::Byte
                                                                               : TypeShape::Builtin;
  const MemberTexts &texts = member_texts[static_cast<int>(decl.relation)][static_cast<int>(shape)];
  const MemberText &text = encode ? texts.encode : texts.decode;
  const std::string_view referred = decl.relation == Relation::Pointer && builtin ? wrapper_class_of(j) : j;
  auto value = [&](char place) { return place == 'n' ? decl.name : place == 'j' ? j : referred; };
  const std::string_view places = text.places;
  switch (places.size()) {
    case 1: emit_format(out, text.format, {value(places[0])}); break;
    case 2: emit_format(out, text.format, {value(places[0]), value(places[1])}); break;
    default: emit_format(out, text.format, {value(places[0]), value(places[1]), value(places[2])}); break;
  }
}

}  // namespace

void emit_encode_statement(JavaOutput &out, Declaration &decl, int depth) {
  emit_member_statement(out, decl, depth, true);
}

void emit_decode_statement(JavaOutput &out, Declaration &decl, int depth) {
  emit_member_statement(out, decl, depth, false);
}

// ---- Common file head and tail ----

JavaOutput::~JavaOutput() {
  if (output_stream >= 0) close(output_stream);
}

void open_java_file(JavaOutput &out, std::string_view base_name) {
  // The name and the text are built in buffers that every file reuses.
  std::string &file_name = out.output_file_name;
  file_name.clear();
  append_format(file_name, "%s.java", {base_name});
  append_format(out.generated_file_list, "\t%s\n", {file_name});
  // Registered before it exists: a signal while it is written removes it.
  note_output_file(file_name);
  out.output_stream = open(file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out.output_stream < 0) {
    forget_output_file();
    report_system_error(file_name, errno);
    terminate_run(255);
  }
  out.output_text.size = 0;
  emit_format(out, "%s%s\n\n", {out.file_header_text, out.pass_through_text});
}

// A file that cannot be written, flushed or closed is as bad as one that
// cannot be opened: the run must not report success over a truncated file.
void close_java_file(JavaOutput &out) {
  const int fd = out.output_stream;
  if (fd < 0) return;
  out.output_stream = -1;
  std::string_view rest = text_of(out.output_text);
  int error_number = 0;
  while (!rest.empty()) {
    ssize_t written = write(fd, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_number = written < 0 ? errno : ENOSPC;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  out.output_text.size = 0;
  if (close(fd) != 0 && error_number == 0 && errno != EINTR) error_number = errno;
  if (error_number != 0) {
    report_system_error(out.output_file_name, error_number);
    std::remove(out.output_file_name.c_str());
    forget_output_file();
    terminate_run(255);
  }
  forget_output_file();
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

// The switch label of one union arm. For a boolean discriminant the labels
// TRUE and FALSE become the values of the "? 1 : 0" switch expression.
std::string union_case_label(std::string_view value, bool builtin, bool boolean, std::string_view discriminant_type,
                             std::string_view interface_name) {
  std::string_view label = value;
  if (boolean && label == "TRUE") label = "1";
  if (boolean && label == "FALSE") label = "0";
  if (builtin || starts_like_number(label))
    return format_text("\t\t\tcase %s:\n", {qualify_bound(label, interface_name)});
  return format_text("\t\t\tcase %s.%s:\n", {discriminant_type, label});
}

bool has_default_member(const Definition &def) {
  return def.default_arm.has_value() && def.default_arm->type != "void";
}

}  // namespace

void emit_struct_class(JavaOutput &out, Definition &def, std::string_view interface_name) {
  open_java_file(out, def.name);
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class %s implements XDT{\n",
              {def.name});
  for (Declaration &member : def.members) emit_field_declaration(out, member, 1, interface_name);
  emit_class_methods(out, def.name);
  // No blank before the brace, unlike the union's: part of the output format.
  emit(out,
       "\tpublic void xdr(XDR xdrs) throws XDRError{\n"
       "\t\tswitch(xdrs.xdr_op){\n"
       "\t\tcase XDR.XDR_ENCODE:\n");
  for (Declaration &member : def.members) emit_encode_statement(out, member, 2);
  emit(out,
       "\t\tbreak;\n\n"
       "\t\tcase XDR.XDR_DECODE:\n");
  for (Declaration &member : def.members) emit_decode_statement(out, member, 2);
  emit(out,
       "\t\tbreak;\n\n"
       "\t\t}\n\t}\n"
       "};\n");
  close_java_file(out);
}

void emit_union_class(JavaOutput &out, Definition &def, std::string_view interface_name) {
  Declaration &disc = def.discriminant;
  const std::string disc_type(java_type_of(disc.type));
  const bool builtin = is_builtin_type(disc_type);
  const bool boolean = disc_type == "boolean";
  // Java cannot switch on a boolean, and a void discriminant has no value:
  // the first switches on 1 or 0, the second always takes the arm of 0.
  std::string selector;
  if (disc_type == "void")
    selector = "0";
  else if (boolean)
    selector = format_text("%s ? 1 : 0", {disc.name});
  else if (builtin)
    selector = disc.name;
  else
    selector = format_text("%s.value", {disc.name});

  open_java_file(out, def.name);
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class %s implements XDT{\n",
              {def.name});
  emit_field_declaration(out, disc, 1, interface_name);
  for (UnionCase &arm : def.cases) emit_field_declaration(out, arm.declaration, 1, interface_name);
  if (has_default_member(def)) emit_field_declaration(out, *def.default_arm, 1, interface_name);
  emit_class_methods(out, def.name);
  // The two extra line feeds are part of the output format.
  emit(out,
       "\n\n\tpublic void xdr(XDR xdrs) throws XDRError {\n"
       "\t\tswitch(xdrs.xdr_op){\n");

  const bool encoding[] = {true, false};
  for (bool encode : encoding) {
    auto emit_statement = encode ? emit_encode_statement : emit_decode_statement;
    emit(out, encode ? "\t\tcase XDR.XDR_ENCODE:\n" : "\t\tcase XDR.XDR_DECODE:\n");
    emit_statement(out, disc, 3);
    emit_format(out, "\t\t\tswitch(%s){\n", {selector});
    for (UnionCase &arm : def.cases) {
      emit(out, union_case_label(arm.case_value, builtin, boolean, disc_type, interface_name));
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
void emit_enum_class(JavaOutput &out, Definition &def) {
  open_java_file(out, def.name);
  // The two blanks on each side of the name are part of the output format.
  emit_format(out,
              "import kelvaro.ZELT.*;\n\n"
              "public class  %s  extends XDTint {\n",
              {def.name});
  const std::string_view *last_value = nullptr;
  long long counter = 0;
  for (const EnumMember &member : def.enum_members) {
    emit_format(out, "\tpublic static final int %s", {member.name});
    if (member.value) {
      emit_format(out, " = %s", {*member.value});
      last_value = &*member.value;
      counter = 1;
    } else if (last_value != nullptr) {
      emit_format(out, " = %s + %d", {*last_value, std::to_string(counter)});
      counter++;
    } else {
      emit_format(out, " = %d", {std::to_string(counter)});
      counter++;
    }
    emit(out, ";\n");
  }
  emit_class_methods(out, def.name);
  emit(out, "};\n");
  close_java_file(out);
}

// A typedef becomes a struct class with the single member "value"; one that
// names a type after itself needs no class of its own.
void emit_typedef_class(JavaOutput &out, Definition &def, std::string_view interface_name) {
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
  emit_struct_class(out, alias, interface_name);
}
