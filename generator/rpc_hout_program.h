// SPDX-License-Identifier: Apache-2.0
// The Java writers for programs: the constants, and per version the
// interface file, the client class and the abstract server class.
#pragma once

#include <string>
#include <string_view>

#include "rpc_hout.h"
#include "rpc_parse.h"

// The Java pieces of one procedure, shared by the three writers.
struct ProcedureSignature {
  std::string method_name;    // as Java takes it
  std::string proc_constant;  // formed around the name as written
  std::string arg_java_type;
  std::string result_java_type;
  std::string param_list;
  std::string return_type;
};

// name_case_flag is the driver's naming option (see form_name).
// The base name as formed, which the client and server class names start
// with; the interface's own name is its Java name (java_name, Type).
std::string version_base_name(const Definition &program, const VersionDef &version, bool name_case_flag);
ProcedureSignature procedure_signature(const ProcedureDef &proc, bool name_case_flag, const DefinitionMemory &memory);

// memory holds the definitions before the one being written.
// Appends the constant's Java line to constants_text.
void append_constant_line(std::string &constants_text, const Definition &def, const DefinitionMemory &memory);
// Writes the interface file of every version, each holding constants_text;
// returns the Java name of the last one, which later passes qualify
// bounds and labels with.
std::string emit_interface_files(JavaOutput &out, const Definition &program, std::string_view constants_text,
                                 const DefinitionMemory &memory, bool name_case_flag);
void emit_client_files(JavaOutput &out, const Definition &program, bool name_case_flag,
                       const DefinitionMemory &memory);
void emit_server_files(JavaOutput &out, const Definition &program, const DefinitionMemory &memory, bool name_case_flag);
