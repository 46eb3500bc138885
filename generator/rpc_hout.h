// The Java writers: type mapping, member emitters, the data-type class files,
// and the interface, client and server files of each program version.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "rpc_parse.h"
#include "rpc_util.h"

// Type mapping and naming.
// Both return a table's text or their own argument.
std::string_view java_type_of(std::string_view type_name);
std::string_view wrapper_class_of(std::string_view java_type);
bool is_builtin_type(std::string_view java_type);
std::string qualify_bound(std::string_view text);

// Member emitters: one line each for one Declaration. A "string" member is
// turned into a Plain one in place.
void emit_field_declaration(Declaration &decl, int depth);
void emit_encode_statement(Declaration &decl, int depth);
void emit_decode_statement(Declaration &decl, int depth);

// Writing to the file being generated; a failed write ends the run.
void emit(std::string_view text);
void emit_format(const FormatText &format, std::initializer_list<std::string_view> args);
void emit_tabs(int count);

// Routes one Definition by pass mode and kind.
void dispatch_definition(Definition &def);

// Opening and closing of every generated file.
void open_java_file(std::string_view base_name);
void close_java_file();

void emit_struct_class(Definition &def);
void emit_union_class(Definition &def);
void emit_enum_class(Definition &def);
void emit_typedef_class(Definition &def);

// Program versions.
struct ProcedureSignature {
  std::string method_name;
  std::string proc_constant;
  std::string arg_java_type;
  std::string result_java_type;
  std::string param_list;
  std::string return_type;
};

std::string version_base_name(const Definition &program, const VersionDef &version);
ProcedureSignature procedure_signature(const ProcedureDef &proc);

void append_constant_line(const Definition &def);
void emit_interface_files(const Definition &program);
void emit_client_files(const Definition &program);
void emit_server_files(const Definition &program);
