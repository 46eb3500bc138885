// SPDX-License-Identifier: Apache-2.0
// The built-in types of the interface language, as one table that states
// their contract with the runtime, and the Java type of every type name.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "rpc_parse.h"

// The contract between the generated text and the runtime for a type the
// runtime codes itself: the Java type of a member of it, the runtime's
// wrapper class for one value, and the stem of the runtime's typed calls.
struct BuiltinType {
  std::string_view xdr_name;
  std::string_view java;
  std::string_view wrapper;
  std::string_view codec_stem;
};
// Every row of that table, in the order it is searched.
std::span<const BuiltinType> builtin_type_rows();
// The row of a built-in Java type, or nullptr for a class.
const BuiltinType *builtin_of_java(std::string_view java_type);

// The Java type of a built-in type, or the class name of a type the input
// defines; a class name that needs a "_" is made in spare, which must
// outlive the result. A name the input neither defines nor has a row for
// stays as written: it names a Java type of the user's (String, say).
std::string_view java_type_of(std::string_view type_name, std::string &spare, const DefinitionMemory &memory);
// The wrapper class of a built-in Java type, or the argument itself.
std::string_view wrapper_class_of(std::string_view java_type);
bool is_builtin_type(std::string_view java_type);
