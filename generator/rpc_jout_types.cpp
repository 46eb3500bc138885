// SPDX-License-Identifier: Apache-2.0
// The Java types of the idiomatic output and the Java text of their codec,
// checks, equality, hash and text.
#include "rpc_jout_types.h"

#include <cstdint>

#include "rpc_jout_names.h"
#include "rpc_number.h"
#include "rpc_text.h"
#include "rpc_util.h"

namespace {

constexpr std::string_view runtime_values = "kelvaro.ZELT.XdrValues";

// The kind of a type the input defines, as far as it is known: the
// latest definition of the name, or the one before a typedef that gives a
// type its own name (typedef point point;).
const RememberedType *type_record(std::string_view name, const DefinitionMemory &memory) {
  const NameTable<RememberedType> &table = memory.types;
  if (table.entries.empty() || find_record(table, name, UINT32_MAX) == nullptr)
    return memory.whole_input != nullptr ? type_record(name, *memory.whole_input) : nullptr;
  std::uint32_t entry = slot_entry(table.slots[find_slot(table, name, name_hash(name))]);
  const RememberedType *found = nullptr;
  while (entry != 0) {
    const RememberedType &record = table.records[entry - 1];
    if (found == nullptr) found = &record;
    if (record.kind != DefinitionKind::Typedef) return &record;
    entry = table.entries[entry - 1].earlier;
  }
  return found;
}

const RememberedTypedef *typedef_record(std::string_view name, const DefinitionMemory &memory) {
  if (const RememberedTypedef *alias = find_typedef(memory, name)) return alias;
  if (const RememberedTypedef *alias = find_record(memory.typedefs, name, UINT32_MAX)) return alias;
  return memory.whole_input != nullptr ? typedef_record(name, *memory.whole_input) : nullptr;
}

// A size as Java text: a number as written, a name as the number it comes
// to when that is known, else as a constant of the interface.
SizeText size_of(std::string_view bound, bool maximum, const DefinitionMemory &memory,
                 std::string_view interface_name) {
  SizeText size;
  if (bound.empty() || bound == "~0") return size;
  size.label = std::string(bound);
  if (starts_like_number(bound)) {
    size.java = java_int_literal(bound);
    return size;
  }
  const RememberedValue *named = find_record(memory.values, bound, UINT32_MAX);
  if (named != nullptr && named->value) {
    const NumberValue v = int_value(*named->value);
    size.java = v.negative ? format_text("-%s", {std::to_string(v.magnitude)}) : std::to_string(v.magnitude);
    return size;
  }
  // A maximum the input never defines is no maximum (vorlith warns).
  if (named == nullptr && maximum) return SizeText{};
  const std::string name = style_name(bound, StyleRole::Constant);
  size.java = interface_name.empty() ? name : format_text("%s.%s", {interface_name, name});
  return size;
}

const BuiltinType *builtin_row(std::string_view xdr_name) {
  for (const BuiltinType &row : builtin_type_rows())
    if (row.xdr_name == xdr_name) return &row;
  return nullptr;
}

// Adds what a declaration's own shape puts around the type it names.
void add_shape(IdiomType &type, Relation relation, std::string_view bound, const DefinitionMemory &memory,
               std::string_view interface_name, std::vector<TypeLayer> &layers) {
  if (relation == Relation::Plain) return;
  layers.push_back({relation, size_of(bound, relation == Relation::VarArray, memory, interface_name)});
  (void)type;
}

// Follows type through the typedefs, adding each one's shape; the
// declaration's own shape is outermost.
void resolve_into(IdiomType &result, std::string_view type, Relation relation, std::string_view bound,
                  const DefinitionMemory &memory, std::string_view interface_name) {
  std::vector<TypeLayer> layers;
  std::size_t hops = 0;
  result.declared_name = std::string(type);
  for (;;) {
    if (type == "string" || type == "opaque") {
      result.core = type == "string" ? CoreKind::String : CoreKind::Opaque;
      result.xdr_name = std::string(type);
      result.core_relation = relation == Relation::Plain ? Relation::VarArray : relation;
      result.core_size = size_of(bound, result.core_relation == Relation::VarArray, memory, interface_name);
      break;
    }
    add_shape(result, relation, bound, memory, interface_name, layers);
    if (const BuiltinType *row = builtin_row(type)) {
      result.core = type == "void" ? CoreKind::Void : CoreKind::Builtin;
      result.builtin = row;
      result.xdr_name = std::string(type);
      result.is_unsigned = type.starts_with("u_");
      break;
    }
    const RememberedType *kind = type_record(type, memory);
    const RememberedTypedef *alias = kind != nullptr && kind->kind == DefinitionKind::Typedef
                                         ? typedef_record(type, memory)
                                         : nullptr;
    if (alias != nullptr && alias->old_type != type && hops++ <= memory.typedefs.entries.size()) {
      type = alias->old_type;
      relation = alias->relation;
      bound = alias->array_bound;
      continue;
    }
    result.xdr_name = std::string(type);
    // A name the input does not define that is a Java type of the table
    // (boolean, String) is that type, as in the default output.
    const BuiltinType *java_row = kind == nullptr ? builtin_of_java(type) : nullptr;
    if (java_row != nullptr && java_row->java == "String") {
      result.core = CoreKind::String;
      result.core_relation = Relation::VarArray;
      break;
    }
    if (java_row != nullptr && java_row->java != "byte" && java_row->java != "void") {
      result.core = CoreKind::Builtin;
      result.builtin = java_row;
      break;
    }
    if (kind == nullptr || kind->kind == DefinitionKind::Typedef) {
      // A name the input does not define names a class of the user's.
      result.core = CoreKind::Named;
      result.class_name = std::string(type);
    } else {
      result.core = kind->kind == DefinitionKind::Enum    ? CoreKind::Enum
                    : kind->kind == DefinitionKind::Union ? CoreKind::Union
                                                          : CoreKind::Struct;
      result.class_name = type_class_name(type, memory);
    }
    break;
  }
  // Collected outermost first: the declaration's shape, then each typedef's.
  result.layers = std::move(layers);
}

bool is_primitive_core(const IdiomType &type) { return type.core == CoreKind::Builtin; }

// The innermost layer onwards is a built-in core with no layer left.
bool primitive_from(const IdiomType &type, std::size_t from) {
  return from >= type.layers.size() && is_primitive_core(type);
}

std::string_view boxed_of(std::string_view java) {
  if (java == "int") return "java.lang.Integer";
  if (java == "long") return "java.lang.Long";
  if (java == "short") return "java.lang.Short";
  if (java == "char") return "java.lang.Character";
  if (java == "boolean") return "java.lang.Boolean";
  if (java == "float") return "java.lang.Float";
  if (java == "double") return "java.lang.Double";
  return java;
}

std::string core_type_text(const IdiomType &type) {
  switch (type.core) {
    case CoreKind::Builtin: return std::string(type.builtin->java);
    case CoreKind::String: return "java.lang.String";
    case CoreKind::Opaque: return "byte[]";
    case CoreKind::Void: return "void";
    default: return type.class_name;
  }
}

// True when a value from layer `from` inward may be null.
bool nullable_from(const IdiomType &type, std::size_t from) {
  return from < type.layers.size() && type.layers[from].relation == Relation::Pointer;
}

// True when an array (opaque or of built-ins) lies inside a list or
// optional layer from `from` inward, where Objects.equals would compare it
// by identity.
bool holds_nested_array(const IdiomType &type, std::size_t from) {
  for (std::size_t i = from; i < type.layers.size(); i++) {
    const bool array_here = type.layers[i].relation != Relation::Pointer && primitive_from(type, i + 1);
    if (i > from && array_here) return true;
  }
  if (type.core == CoreKind::Opaque && type.layers.size() > from) return true;
  return false;
}

std::string param(char letter, int depth) { return format_text("%s%d", {std::string(1, letter), std::to_string(depth)}); }

std::string quoted(std::string_view label) { return format_text("\"%s\"", {label}); }

}  // namespace

std::string writer_text(const IdiomType &type, std::string_view label, std::size_t from, int depth) {
  if (from >= type.layers.size() && !type.class_name.empty() && type.core != CoreKind::Named)
    return format_text("%s::encode", {type.class_name});
  const std::string e = param('e', depth), x = param('x', depth);
  return format_text("(%s, %s) -> %s", {e, x, encode_text(type, e, x, label, from, depth + 1)});
}

std::string reader_text(const IdiomType &type, std::string_view label, std::size_t from, int depth) {
  if (from >= type.layers.size() && !type.class_name.empty() && type.core != CoreKind::Named)
    return format_text("%s::decode", {type.class_name});
  const std::string x = param('x', depth);
  return format_text("%s -> %s", {x, decode_text(type, x, label, from, depth + 1)});
}

IdiomType resolve_declaration(const Declaration &decl, const DefinitionMemory &memory,
                              std::string_view interface_name) {
  IdiomType type;
  resolve_into(type, decl.type, decl.relation, decl.array_bound, memory, interface_name);
  return type;
}

IdiomType resolve_type_name(std::string_view name, const DefinitionMemory &memory, std::string_view interface_name) {
  IdiomType type;
  resolve_into(type, name, Relation::Plain, {}, memory, interface_name);
  return type;
}

std::string generated_class_of(std::string_view type, const DefinitionMemory &memory) {
  const RememberedType *kind = type_record(type, memory);
  if (kind == nullptr || kind->kind == DefinitionKind::Typedef) return {};
  return type_class_name(type, memory);
}

bool is_nullable(const IdiomType &type) { return nullable_from(type, 0); }
bool is_primitive(const IdiomType &type) { return primitive_from(type, 0); }
bool is_void(const IdiomType &type) { return type.core == CoreKind::Void && type.layers.empty(); }

std::string java_type_text(const IdiomType &type, std::size_t from) {
  if (from >= type.layers.size()) return core_type_text(type);
  const TypeLayer &layer = type.layers[from];
  if (layer.relation == Relation::Pointer) {
    if (nullable_from(type, from + 1))
      return format_text("java.util.Optional<%s>", {boxed_type_text(type, from + 1)});
    return boxed_type_text(type, from + 1);
  }
  if (primitive_from(type, from + 1)) return format_text("%s[]", {core_type_text(type)});
  return format_text("java.util.List<%s>", {boxed_type_text(type, from + 1)});
}

std::string boxed_type_text(const IdiomType &type, std::size_t from) {
  if (primitive_from(type, from)) return std::string(boxed_of(type.builtin->java));
  return java_type_text(type, from);
}

std::string encode_text(const IdiomType &type, std::string_view value, std::string_view stream,
                        std::string_view label, std::size_t from, int depth) {
  const std::string l = quoted(label);
  if (from < type.layers.size()) {
    const TypeLayer &layer = type.layers[from];
    const bool primitive_items = primitive_from(type, from + 1);
    switch (layer.relation) {
      case Relation::Pointer: {
        if (nullable_from(type, from + 1)) {
          // Optional data of optional data: the outer holds an Optional.
          const std::string e = param('e', depth), x = param('x', depth);
          return format_text("%s.enc_optional(%s, (%s, %s) -> %s)",
                             {stream, value, e, x,
                              encode_text(type, format_text("%s.orElse(null)", {e}), x, label, from + 1, depth + 1)});
        }
        return format_text("%s.enc_optional(%s, %s)", {stream, value, writer_text(type, label, from + 1, depth)});
      }
      case Relation::VarArray:
        if (primitive_items) {
          if (layer.size.java.empty())
            return format_text("%s.enc_%s_array(%s)", {stream, type.builtin->codec_stem, value});
          return format_text("%s.enc_%s_array(%s, %s, %s)",
                             {stream, type.builtin->codec_stem, value, layer.size.java, l});
        }
        if (layer.size.java.empty())
          return format_text("%s.enc_list(%s, %s)", {stream, value, writer_text(type, label, from + 1, depth)});
        return format_text("%s.enc_list(%s, %s, %s, %s)",
                           {stream, value, writer_text(type, label, from + 1, depth), layer.size.java, l});
      case Relation::FixedArray:
        if (primitive_items)
          return format_text("%s.xdr_%s_vec(%s, %s, %s)",
                             {stream, type.builtin->codec_stem, value, layer.size.java, l});
        return format_text("%s.enc_fixed_list(%s, %s, %s, %s)",
                           {stream, value, writer_text(type, label, from + 1, depth), layer.size.java, l});
      case Relation::Plain: break;
    }
  }
  switch (type.core) {
    case CoreKind::Builtin: return format_text("%s.enc_%s(%s)", {stream, type.builtin->codec_stem, value});
    case CoreKind::String:
      if (type.core_size.java.empty()) return format_text("%s.enc_String(%s)", {stream, value});
      return format_text("%s.enc_String(%s, %s, %s)", {stream, value, type.core_size.java, l});
    case CoreKind::Opaque:
      if (type.core_relation == Relation::FixedArray)
        return format_text("%s.xdr_byte_vec(%s, %s, %s)", {stream, value, type.core_size.java, l});
      if (type.core_size.java.empty()) return format_text("%s.enc_bytes(%s)", {stream, value});
      return format_text("%s.enc_bytes(%s, %s, %s)", {stream, value, type.core_size.java, l});
    case CoreKind::Void: return {};
    default: return format_text("%s.encode(%s)", {value, stream});
  }
}

std::string decode_text(const IdiomType &type, std::string_view stream, std::string_view label, std::size_t from,
                        int depth) {
  const std::string l = quoted(label);
  if (from < type.layers.size()) {
    const TypeLayer &layer = type.layers[from];
    const bool primitive_items = primitive_from(type, from + 1);
    switch (layer.relation) {
      case Relation::Pointer: {
        if (nullable_from(type, from + 1)) {
          const std::string x = param('x', depth);
          return format_text("%s.dec_optional(%s -> java.util.Optional.ofNullable(%s))",
                             {stream, x, decode_text(type, x, label, from + 1, depth + 1)});
        }
        return format_text("%s.dec_optional(%s)", {stream, reader_text(type, label, from + 1, depth)});
      }
      case Relation::VarArray:
        if (primitive_items) {
          if (layer.size.java.empty()) return format_text("%s.dec_%s_array()", {stream, type.builtin->codec_stem});
          return format_text("%s.dec_%s_array(%s, %s)", {stream, type.builtin->codec_stem, layer.size.java, l});
        }
        if (layer.size.java.empty())
          return format_text("%s.dec_list(%s)", {stream, reader_text(type, label, from + 1, depth)});
        return format_text("%s.dec_list(%s, %s, %s)",
                           {stream, reader_text(type, label, from + 1, depth), layer.size.java, l});
      case Relation::FixedArray:
        if (primitive_items)
          return format_text("%s.dec_%s_fixed(%s, %s)", {stream, type.builtin->codec_stem, layer.size.java, l});
        return format_text("%s.dec_fixed_list(%s, %s, %s)",
                           {stream, reader_text(type, label, from + 1, depth), layer.size.java, l});
      case Relation::Plain: break;
    }
  }
  switch (type.core) {
    case CoreKind::Builtin: return format_text("%s.dec_%s()", {stream, type.builtin->codec_stem});
    case CoreKind::String:
      if (type.core_size.java.empty()) return format_text("%s.dec_String()", {stream});
      return format_text("%s.dec_String(%s, %s)", {stream, type.core_size.java, l});
    case CoreKind::Opaque:
      if (type.core_relation == Relation::FixedArray)
        return format_text("%s.dec_byte_fixed(%s, %s)", {stream, type.core_size.java, l});
      if (type.core_size.java.empty()) return format_text("%s.dec_bytes()", {stream});
      return format_text("%s.dec_bytes(%s, %s)", {stream, type.core_size.java, l});
    case CoreKind::Void: return "null";
    default: return format_text("%s.decode(%s)", {type.class_name, stream});
  }
}

std::string check_text(const IdiomType &type, std::string_view name, std::string_view label,
                       std::string_view indent) {
  if (is_primitive(type) || is_void(type) || is_nullable(type)) return {};
  const std::string l = quoted(label);
  if (!type.layers.empty()) {
    const TypeLayer &layer = type.layers[0];
    const bool primitive_items = primitive_from(type, 1);
    const bool nullable_items = nullable_from(type, 1);
    if (primitive_items) {
      if (layer.relation == Relation::FixedArray)
        return format_text("%s%s.checkLength(%s, %s, %s);\n", {indent, runtime_values, name, layer.size.java, l});
      if (layer.size.java.empty())
        return format_text("%sjava.util.Objects.requireNonNull(%s, %s);\n", {indent, name, l});
      return format_text("%s%s.checkSize(%s, %s, %s);\n", {indent, runtime_values, name, layer.size.java, l});
    }
    // A list is kept as an unmodifiable copy (none is made of one the
    // decoder made).
    const std::string_view copy = nullable_items ? "nullableListOf" : "listOf";
    const std::string size = layer.relation == Relation::FixedArray ? layer.size.java
                             : layer.size.java.empty()              ? std::string("-1")
                                                                    : layer.size.java;
    const std::string_view exact = layer.relation == Relation::FixedArray ? "true" : "false";
    return format_text("%s%s = %s.%s(%s, %s, %s, %s);\n", {indent, name, runtime_values, copy, name, size, exact, l});
  }
  switch (type.core) {
    case CoreKind::String:
      if (type.core_size.java.empty()) break;
      return format_text("%s%s.checkString(%s, %s, %s);\n", {indent, runtime_values, name, type.core_size.java, l});
    case CoreKind::Opaque:
      if (type.core_relation == Relation::FixedArray)
        return format_text("%s%s.checkLength(%s, %s, %s);\n",
                           {indent, runtime_values, name, type.core_size.java, l});
      if (type.core_size.java.empty()) break;
      return format_text("%s%s.checkSize(%s, %s, %s);\n", {indent, runtime_values, name, type.core_size.java, l});
    default: break;
  }
  return format_text("%sjava.util.Objects.requireNonNull(%s, %s);\n", {indent, name, l});
}

std::string equals_text(const IdiomType &type, std::string_view a, std::string_view b) {
  if (is_primitive(type)) {
    const std::string_view java = type.builtin->java;
    if (java == "float" || java == "double")
      return format_text("%s.compare(%s, %s) == 0", {boxed_of(java), a, b});
    return format_text("%s == %s", {a, b});
  }
  if (holds_nested_array(type, 0)) return format_text("%s.deepEquals(%s, %s)", {runtime_values, a, b});
  const bool array = (type.layers.empty() && type.core == CoreKind::Opaque) ||
                     (type.layers.size() == 1 && type.layers[0].relation != Relation::Pointer && primitive_from(type, 1));
  if (array) return format_text("java.util.Arrays.equals(%s, %s)", {a, b});
  return format_text("java.util.Objects.equals(%s, %s)", {a, b});
}

std::string hash_text(const IdiomType &type, std::string_view a) {
  if (is_primitive(type)) return format_text("%s.hashCode(%s)", {boxed_of(type.builtin->java), a});
  if (holds_nested_array(type, 0)) return format_text("%s.deepHashCode(%s)", {runtime_values, a});
  const bool array = (type.layers.empty() && type.core == CoreKind::Opaque) ||
                     (type.layers.size() == 1 && type.layers[0].relation != Relation::Pointer && primitive_from(type, 1));
  if (array) return format_text("java.util.Arrays.hashCode(%s)", {a});
  return format_text("java.util.Objects.hashCode(%s)", {a});
}

std::string show_text(const IdiomType &type, std::string_view a) {
  if (is_primitive(type)) {
    if (type.is_unsigned && type.builtin->java == "int") return format_text("java.lang.Integer.toUnsignedString(%s)", {a});
    if (type.is_unsigned && type.builtin->java == "long") return format_text("java.lang.Long.toUnsignedString(%s)", {a});
    return format_text("java.lang.String.valueOf(%s)", {a});
  }
  return format_text("%s.text(%s)", {runtime_values, a});
}

std::string default_value_text(const IdiomType &type) {
  if (is_nullable(type)) return "null";
  if (is_primitive(type)) {
    const std::string_view java = type.builtin->java;
    if (java == "boolean") return "false";
    if (java == "char") return "(char) 0";
    if (java == "short") return "(short) 0";
    if (java == "long") return "0L";
    if (java == "float") return "0.0f";
    if (java == "double") return "0.0";
    return "0";
  }
  if (!type.layers.empty()) {
    const TypeLayer &layer = type.layers[0];
    if (primitive_from(type, 1))
      return format_text("new %s[%s]", {type.builtin->java, layer.relation == Relation::FixedArray ? layer.size.java : "0"});
    if (layer.relation == Relation::VarArray) return "java.util.List.of()";
    return {};
  }
  switch (type.core) {
    case CoreKind::String: return "\"\"";
    case CoreKind::Opaque:
      return format_text("new byte[%s]", {type.core_relation == Relation::FixedArray ? type.core_size.java : "0"});
    default: return {};
  }
}

namespace {

std::string size_note(const SizeText &size, std::string_view unit, bool fixed) {
  if (fixed) {
    if (size.label.empty() || starts_like_number(size.label)) return format_text("exactly %s %s", {size.label, unit});
    return format_text("exactly {@code %s} %s", {size.label, unit});
  }
  if (size.java.empty()) return {};
  if (starts_like_number(size.label)) return format_text("at most %s %s", {size.label, unit});
  return format_text("at most {@code %s} %s", {size.label, unit});
}

}  // namespace

namespace {

// A built-in type as the input spells it.
std::string_view xdr_spelling(std::string_view name) {
  if (name == "u_int") return "unsigned int";
  if (name == "u_hyper") return "unsigned hyper";
  if (name == "u_long") return "unsigned long";
  if (name == "u_short") return "unsigned short";
  if (name == "u_char") return "unsigned char";
  return name;
}

}  // namespace

std::string type_note(const IdiomType &type) {
  std::string note;
  auto add = [&](const std::string &part) {
    if (part.empty()) return;
    if (!note.empty()) note += "; ";
    note += part;
  };
  for (std::size_t i = 0; i < type.layers.size(); i++) {
    const TypeLayer &layer = type.layers[i];
    switch (layer.relation) {
      case Relation::Pointer:
        add(i == 0 ? "optional: null when absent" : "items optional: null when absent");
        break;
      case Relation::VarArray: add(size_note(layer.size, "items", false)); break;
      case Relation::FixedArray: add(size_note(layer.size, "items", true)); break;
      case Relation::Plain: break;
    }
  }
  switch (type.core) {
    case CoreKind::String: add(size_note(type.core_size, "bytes of UTF-8", false)); break;
    case CoreKind::Opaque:
      add(size_note(type.core_size, "bytes", type.core_relation == Relation::FixedArray));
      break;
    case CoreKind::Builtin:
      if (type.is_unsigned) {
        const std::string_view java = type.builtin->java;
        add(java == "int"    ? "unsigned: the int holds the 32 bits, see {@link java.lang.Integer#toUnsignedLong}"
            : java == "long" ? "unsigned: the long holds the 64 bits, see {@link java.lang.Long#toUnsignedString(long)}"
                             : "unsigned");
      }
      break;
    default: break;
  }
  if (!is_nullable(type) && !is_primitive(type) && !is_void(type)) add("never null");
  const std::string_view core = xdr_spelling(type.xdr_name);
  std::string text = type.declared_name != type.xdr_name && !type.declared_name.empty()
                         ? format_text("XDR {@code %s} ({@code %s})", {xdr_spelling(type.declared_name), core})
                         : format_text("XDR {@code %s}", {core});
  if (!note.empty()) text += format_text(", %s", {note});
  return text;
}
