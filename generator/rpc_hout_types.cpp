// SPDX-License-Identifier: Apache-2.0
// The built-in types of the interface language and their contract with the
// runtime, and the mapping of every type name to its Java type.
#include "rpc_hout_types.h"

#include "rpc_util.h"

namespace {

// The contract between the generated text and the runtime for each type of
// the interface language that the runtime codes itself: the Java type a
// member of it has, the runtime's wrapper class that carries one value of
// it where an object is needed, and the stem of the runtime's typed calls
// (enc_<stem>, dec_<stem>, enc_<stem>_array, xdr_<stem>_vec). A new type
// mapping is one row. Every type the input names and no row has maps to the
// class of that name. opaque's calls differ for counted data: enc_bytes
// and dec_bytes (see the statement texts).
constexpr BuiltinType builtin_types[] = {
    {"long", "int", "XDTint", "int"},
    {"opaque", "byte", "XDTbytes", "byte"},
    {"bool", "boolean", "XDTboolean", "boolean"},
    {"enum", "int", "XDTint", "int"},
    {"string", "String", "XDTString", "String"},
    {"u_long", "int", "XDTint", "int"},
    {"u_short", "short", "XDTshort", "short"},
    {"u_char", "char", "XDTchar", "char"},
    {"u_int", "int", "XDTint", "int"},
    {"hyper", "long", "XDTLong", "long"},
    {"u_hyper", "long", "XDTLong", "long"},
    {"void", "void", "XDTvoid", ""},
    {"short", "short", "XDTshort", "short"},
    {"char", "char", "XDTchar", "char"},
    {"int", "int", "XDTint", "int"},
    {"float", "float", "XDTfloat", "float"},
    {"double", "double", "XDTdouble", "double"},
};

}  // namespace

// The row of a built-in Java type (the first row that maps to it: rows of
// one Java type agree on wrapper and stem), or nullptr.
const BuiltinType *builtin_of_java(std::string_view java_type) {
  for (const BuiltinType &row : builtin_types) {
    if (row.java == java_type) return &row;
  }
  return nullptr;
}

std::string_view java_type_of(std::string_view type_name, std::string &spare, const DefinitionMemory &memory) {
  for (const BuiltinType &row : builtin_types) {
    if (row.xdr_name == type_name) return row.java;
  }
  if (!defines_type(memory, type_name)) return type_name;
  return java_name(type_name, NameRole::Type, spare);
}

std::string_view wrapper_class_of(std::string_view java_type) {
  const BuiltinType *row = builtin_of_java(java_type);
  return row != nullptr ? row->wrapper : java_type;
}

bool is_builtin_type(std::string_view java_type) { return builtin_of_java(java_type) != nullptr; }

std::span<const BuiltinType> builtin_type_rows() { return builtin_types; }
