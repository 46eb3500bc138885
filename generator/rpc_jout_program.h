// SPDX-License-Identifier: Apache-2.0
// The program writers of the idiomatic output: per version a final class
// of its numbers and the constants of the input, a client with a method
// (and a future-returning one) per procedure, and a service interface to
// implement. memory holds the definitions before the one being written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rpc_hout.h"
#include "rpc_parse.h"

// Appends the constant's Javadoc and Java line to constants_text.
void append_java_constant(std::string &constants_text, const Definition &def, const DefinitionMemory &memory);
// Writes the class of every version of the program, each holding
// constants_text; returns the name of the last one, which later passes
// qualify sizes with.
std::string emit_version_classes(JavaOutput &out, const Definition &program, std::string_view constants_text,
                                 const DefinitionMemory &memory);
void emit_version_clients(JavaOutput &out, const Definition &program, const DefinitionMemory &memory);
void emit_version_services(JavaOutput &out, const Definition &program, const DefinitionMemory &memory);

// The Java pieces of one procedure.
struct ProcedureJava {
  std::string method;        // the client's and the service's method
  std::string async_method;  // the client's method that returns a future
  std::string constant;      // its number's constant in the version class
};
// The Java pieces of a version's procedures, in their order. Methods are
// named as scope_style_names says, in the scope of the version.
std::vector<ProcedureJava> procedures_java(const VersionDef &version);
// True when a constant defined before has the procedure's name and number:
// it serves as the procedure's number constant, which is then not written.
bool constant_numbers_procedure(const ProcedureDef &proc, const DefinitionMemory &memory);
