// SPDX-License-Identifier: Apache-2.0
// The Java types of the idiomatic output: every type a member, argument or
// result names, followed through the typedefs before it to what Java holds
// (a typedef writes no class of its own), and the Java text that encodes,
// decodes, checks, compares, hashes and shows a value of it. The built-in
// types come from the shared table (rpc_hout_types).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rpc_hout_types.h"
#include "rpc_parse.h"

// The kind of value at the core of a type, inside its arrays and optional
// data.
enum class CoreKind {
  Builtin = 0,  // a row of the table: int, long, boolean ... (not string, opaque, void)
  String = 1,   // string<N>: a java.lang.String of at most N bytes
  Opaque = 2,   // opaque[N] or opaque<N>: a byte[]
  Struct = 3,   // a record of the output
  Union = 4,    // a sealed interface of the output
  Enum = 5,     // an enum of the output
  Named = 6,    // a name the input does not define: a class of the user's, as written
  Void = 7,
};

// A size of an array, string or opaque datum.
struct SizeText {
  std::string java;   // an int expression; empty: no maximum
  std::string label;  // as written in the input, for the Javadoc
};

// One array or optional layer around the core, outermost first.
struct TypeLayer {
  Relation relation = Relation::Plain;  // FixedArray, VarArray or Pointer
  SizeText size;
};

struct IdiomType {
  CoreKind core = CoreKind::Named;
  const BuiltinType *builtin = nullptr;  // Builtin: its row
  std::string class_name;                // Struct, Union, Enum, Named: the Java class
  std::string xdr_name;                  // the core type as the input names it, after typedefs
  std::string declared_name;             // the type as the declaration names it (a typedef, say)
  Relation core_relation = Relation::Plain;  // Opaque: FixedArray or VarArray
  SizeText core_size;                        // String and Opaque
  bool is_unsigned = false;
  std::vector<TypeLayer> layers;
};

// The Java type of a declaration (a member, an arm), or of a type named
// alone (an argument, a result). memory holds the definitions before the
// one being written; a constant size that has no known value is qualified
// with interface_name.
IdiomType resolve_declaration(const Declaration &decl, const DefinitionMemory &memory,
                              std::string_view interface_name);
IdiomType resolve_type_name(std::string_view type, const DefinitionMemory &memory, std::string_view interface_name);
// The Java class of a type the input defines as a struct, union or enum,
// or an empty text.
std::string generated_class_of(std::string_view type, const DefinitionMemory &memory);

// The Java type, from layer `from` inward.
std::string java_type_text(const IdiomType &type, std::size_t from = 0);
// The same where an object is needed (a type argument): a primitive boxed.
std::string boxed_type_text(const IdiomType &type, std::size_t from = 0);
// True when the value may be null: the outer layer is optional data.
bool is_nullable(const IdiomType &type);
// True when the Java value is a primitive (no layer, a built-in core).
bool is_primitive(const IdiomType &type);
bool is_void(const IdiomType &type);

// An expression statement (without ";") that encodes value into stream,
// and an expression that decodes one from stream. label names the value in
// the runtime's errors. depth numbers the names of lambda parameters.
std::string encode_text(const IdiomType &type, std::string_view value, std::string_view stream,
                        std::string_view label, std::size_t from = 0, int depth = 1);
std::string decode_text(const IdiomType &type, std::string_view stream, std::string_view label,
                        std::size_t from = 0, int depth = 1);

// A runtime XdrWriter and XdrReader of the type: a method reference for a
// class of the output, else a lambda.
std::string writer_text(const IdiomType &type, std::string_view label, std::size_t from = 0, int depth = 1);
std::string reader_text(const IdiomType &type, std::string_view label, std::size_t from = 0, int depth = 1);

// The statement (with ";" and line feed, after indent) of a record's
// compact constructor that checks, and where needed copies, parameter
// name: never null unless optional, and within its size. Empty for a
// primitive.
std::string check_text(const IdiomType &type, std::string_view name, std::string_view label, std::string_view indent);
// Whether two values are equal, their hash and their text, for a's and
// b's component name.
std::string equals_text(const IdiomType &type, std::string_view a, std::string_view b);
std::string hash_text(const IdiomType &type, std::string_view a);
std::string show_text(const IdiomType &type, std::string_view a);

// A value that a builder starts with, or empty when it has none (a member
// that must be set).
std::string default_value_text(const IdiomType &type);

// What the Javadoc says about the type of a value: its XDR type, sizes,
// signedness and whether it may be null.
std::string type_note(const IdiomType &type);
