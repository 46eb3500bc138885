// SPDX-License-Identifier: Apache-2.0
// The Java writers for the data types: type mapping, the member emitters,
// and the struct, union, enum and typedef classes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "rpc_output.h"
#include "rpc_parse.h"

// Type mapping and naming.
// The Java type of a built-in type, or the class name of a type the input
// names; a class name that needs a "_" is made in spare, which must outlive
// the result.
std::string_view java_type_of(std::string_view type_name, std::string &spare);
// The wrapper class of a built-in Java type, or the argument itself.
std::string_view wrapper_class_of(std::string_view java_type);
bool is_builtin_type(std::string_view java_type);
// A bound or case label as Java text: numbers stay, names become constants
// of the interface named interface_name (empty: no interface was written).
std::string qualify_bound(std::string_view text, std::string_view interface_name);

// Names that earlier definitions gave a meaning, as the Java text writes
// them: memory holds the definitions before the one being written, and
// interface_name is the interface constants are qualified with (empty: no
// interface was written).
// An enum member as a constant of its enum's class.
std::string enum_member_reference(std::string_view enum_name, std::string_view member);
// An array bound (through qualify_bound).
std::string bound_text(std::string_view bound, const DefinitionMemory &memory, std::string_view interface_name);
// A value where Java expects an int that nothing qualifies: an enum value.
std::string value_text(std::string_view value, const DefinitionMemory &memory, std::string_view interface_name);

// Member emitters: one line each for one Declaration. A "string" member is
// turned into a Plain one in place.
void emit_field_declaration(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                            std::string_view interface_name);
void emit_encode_statement(JavaOutput &out, Declaration &decl, int depth);
void emit_decode_statement(JavaOutput &out, Declaration &decl, int depth);

// The data-type classes. Bounds, labels and values that name constants are
// qualified with interface_name.
void emit_struct_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name);
void emit_union_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                      std::string_view interface_name);
void emit_enum_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory, std::string_view interface_name);
void emit_typedef_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                        std::string_view interface_name);
