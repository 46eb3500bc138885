// SPDX-License-Identifier: Apache-2.0
// Java writers for program versions: the constants, and per version the
// interface file, the client class and the abstract server class.
#include "rpc_hout_program.h"

#include <optional>
#include <utility>
#include <string>

#include "rpc_hout_refs.h"
#include "rpc_hout_types.h"
#include "rpc_number.h"
#include "rpc_util.h"

// ---- Shared naming ----

std::string version_base_name(const Definition &program, const VersionDef &version, bool name_case_flag) {
  if (version.name == "1") return std::string(program.name);
  return form_name(program.name, &version.number, name_case_flag);
}

ProcedureSignature procedure_signature(const ProcedureDef &proc, bool name_case_flag, const DefinitionMemory &memory) {
  ProcedureSignature sig;
  const std::string formed = form_name(proc.name, nullptr, name_case_flag);
  sig.method_name = java_name(formed, NameRole::Method);
  sig.proc_constant = format_text("_%s_proc", {formed});
  std::string spare;
  sig.arg_java_type = java_type_of(proc.arg_type, spare, memory);
  sig.result_java_type = java_type_of(proc.result_type, spare, memory);
  if (proc.arg_type != "void") sig.param_list = format_text("%s in_arg", {sig.arg_java_type});
  sig.return_type = sig.result_java_type;
  return sig;
}

// ---- Constants and interface files ----

// ---- Numbers of procedures, versions and programs ----

namespace {

// A procedure number in the interface's constant and the server's label:
// an earlier enum member as its enum's constant, any other name bare, as a
// constant of the interface.
std::string procedure_number_text(std::string_view number, const DefinitionMemory &memory) {
  if (starts_like_number(number)) return java_int_literal(number);
  const RememberedValue *named = find_value(memory, number);
  if (named != nullptr && named->is_enum_member) return interface_enum_reference(*named, number, memory);
  return java_name(number, NameRole::Value);
}

// A program or version number: a constant's name is qualified with the
// interface, as the constants stand after it in the file.
void emit_def_number(JavaOutput &out, std::string_view field, std::string_view number, const DefinitionMemory &memory,
                     std::string_view interface_name) {
  const RememberedValue *named = starts_like_number(number) ? nullptr : find_value(memory, number);
  if (starts_like_number(number))
    emit_format(out, "\tpublic static final int %s = %s;\n", {field, java_int_literal(number)});
  else if (named != nullptr && named->is_enum_member)
    emit_format(out, "\tpublic static final int %s = %s;\n", {field, interface_enum_reference(*named, number, memory)});
  else
    emit_format(out, "\tpublic static final int %s = %s.%s;\n",
                {field, interface_name, java_name(number, NameRole::Value)});
}

// Procedure 0 by value: 0 in any spelling, or an earlier constant or enum
// member whose value is 0.
bool is_null_procedure(const ProcedureDef &proc, const DefinitionMemory &memory) {
  std::optional<NumberValue> value = number_value(proc.number);
  if (!value) {
    if (const RememberedValue *named = find_value(memory, proc.number)) value = named->value;
  }
  return value && is_zero(*value);
}

}  // namespace

// ---- Constants and interface files ----

// A constant is an int, a long when its value needs more than 32 bits or
// names a long constant, a String when it is or names a string.
void append_constant_line(std::string &constants_text, const Definition &def, const DefinitionMemory &memory) {
  static constexpr FormatText int_line = "\tpublic static final int %s = %s;\n";
  static constexpr FormatText long_line = "\tpublic static final long %s = %s;\n";
  static constexpr FormatText string_line = "\tpublic static final String %s = %s;\n";
  const std::string name = java_name(def.name, NameRole::Value);
  const std::string_view value = def.value;
  if (!value.empty() && value[0] == '"') {
    append_format(constants_text, string_line, {name, value});
  } else if (starts_like_number(value)) {
    const std::optional<NumberValue> number = number_value(value);
    if (number && needs_long(*number))
      append_format(constants_text, long_line, {name, java_long_literal(value)});
    else
      append_format(constants_text, int_line, {name, java_int_literal(value)});
  } else if (const RememberedValue *named = find_value(memory, value)) {
    if (named->is_enum_member) {
      append_format(constants_text, int_line, {name, interface_enum_reference(*named, value, memory)});
    } else {
      const FormatText &line = named->type == ConstantType::Long     ? long_line
                               : named->type == ConstantType::String ? string_line
                                                                     : int_line;
      append_format(constants_text, line, {name, java_name(value, NameRole::Value)});
    }
  } else {
    append_format(constants_text, int_line, {name, java_name(value, NameRole::Value)});
  }
}

namespace {

void emit_interface_procedure(JavaOutput &out, const ProcedureDef &proc, const DefinitionMemory &memory,
                              bool name_case_flag) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
  emit_format(out, "\tpublic static final int %s = %s;\n\n",
              {sig.proc_constant, procedure_number_text(proc.number, memory)});
  emit_format(out, "\tpublic %s %s(%s) throws kelvaro.ZELT.rpc_err;\n\n",
              {sig.return_type, sig.method_name, sig.param_list});
}

void emit_interface_file(JavaOutput &out, const std::string &interface_name, const Definition &program,
                         const VersionDef &version, std::string_view constants_text, const DefinitionMemory &memory,
                         bool name_case_flag) {
  open_java_file(out, interface_name);
  emit_format(out, "public interface %s{\n\n", {interface_name});
  emit_def_number(out, "_def_pno", program.program_number, memory, interface_name);
  emit_def_number(out, "_def_vno", version.number, memory, interface_name);
  emit(out, "\n");
  emit_format(out, "%s\n\n", {constants_text});
  for (const ProcedureDef &proc : version.procedures) emit_interface_procedure(out, proc, memory, name_case_flag);
  emit(out, "\n}\n\n");
  close_java_file(out);
}

}  // namespace

std::string emit_interface_files(JavaOutput &out, const Definition &program, std::string_view constants_text,
                                 const DefinitionMemory &memory, bool name_case_flag) {
  std::string interface_name;
  for (const VersionDef &version : program.versions) {
    interface_name = java_name(version_base_name(program, version, name_case_flag), NameRole::Interface);
    emit_interface_file(out, interface_name, program, version, constants_text, memory, name_case_flag);
  }
  return interface_name;
}

// ---- Client classes ----

namespace {

void emit_client_method(JavaOutput &out, const ProcedureDef &proc, std::string_view interface_name,
                        bool name_case_flag, const DefinitionMemory &memory) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
  emit_format(out, "\tpublic %s %s(%s) throws rpc_err {\n", {sig.return_type, sig.method_name, sig.param_list});
  // Built-in and void arguments travel in a wrapper; a generated class is
  // passed as the caller's own object.
  const char *reference_prefix = "_";
  if (sig.param_list.empty()) {
    emit(out, "\t\tXDTvoid _in_arg = new XDTvoid();\n");
  } else if (is_builtin_type(sig.arg_java_type)) {
    const std::string_view wrapper = wrapper_class_of(sig.arg_java_type);
    emit_format(out, "\t\t%s _in_arg = new %s();\n", {wrapper, wrapper});
    emit(out, "\t\t_in_arg.value = in_arg;\n");
  } else {
    reference_prefix = "";
  }
  const std::string_view result_wrapper = wrapper_class_of(sig.result_java_type);
  emit_format(out, "\t\t%s _out_arg = new %s();\n", {result_wrapper, result_wrapper});
  emit_format(out, "\t\tgetClient().call(%s.%s, %sin_arg, _out_arg);\n",
              {interface_name, sig.proc_constant, reference_prefix});
  if (sig.return_type != "void") {
    emit(out, is_builtin_type(sig.result_java_type) ? "\t\treturn _out_arg.value;\n" : "\t\treturn _out_arg;\n");
  }
  emit(out, "\t}\n\n");
}

// The class a built-in Java type is boxed in, for a future's type argument.
std::string_view boxed_type(std::string_view java_type) {
  static constexpr std::pair<std::string_view, std::string_view> boxes[] = {
      {"int", "Integer"},  {"short", "Short"}, {"char", "Character"}, {"boolean", "Boolean"}, {"long", "Long"},
      {"float", "Float"},  {"double", "Double"}, {"byte", "Byte"},     {"void", "Void"},
  };
  for (const auto &[primitive, box] : boxes) {
    if (primitive == java_type) return box;
  }
  return java_type;
}

// With --async: the procedure's method that returns a future at once, and
// the same with a time-out of the call's own.
void emit_client_async_methods(JavaOutput &out, const ProcedureDef &proc, std::string_view interface_name,
                               bool name_case_flag, const DefinitionMemory &memory) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
  const std::string_view future_type = boxed_type(sig.return_type);
  const std::string_view result_wrapper = wrapper_class_of(sig.result_java_type);
  const char *unwrap = "";
  if (sig.return_type == "void")
    unwrap = ".thenApply(_r -> (Void) null)";
  else if (is_builtin_type(sig.result_java_type))
    unwrap = ".thenApply(_r -> _r.value)";
  for (const bool with_timeout : {false, true}) {
    std::string params = sig.param_list;
    if (with_timeout) params += params.empty() ? "java.time.Duration timeout" : ", java.time.Duration timeout";
    emit_format(out, "\tpublic CompletableFuture<%s> %sAsync(%s) {\n", {future_type, sig.method_name, params});
    const char *reference_prefix = "_";
    if (sig.param_list.empty()) {
      emit(out, "\t\tXDTvoid _in_arg = new XDTvoid();\n");
    } else if (is_builtin_type(sig.arg_java_type)) {
      const std::string_view wrapper = wrapper_class_of(sig.arg_java_type);
      emit_format(out, "\t\t%s _in_arg = new %s();\n", {wrapper, wrapper});
      emit(out, "\t\t_in_arg.value = in_arg;\n");
    } else {
      reference_prefix = "";
    }
    emit_format(out, "\t\treturn getClient().callAsync(%s.%s, %sin_arg, new %s()%s)%s;\n",
                {interface_name, sig.proc_constant, reference_prefix, result_wrapper,
                 with_timeout ? ", timeout" : "", unwrap});
    emit(out, "\t}\n\n");
  }
}

void emit_client_class(JavaOutput &out, const Definition &program, const VersionDef &version, bool name_case_flag,
                       const DefinitionMemory &memory) {
  const std::string base_name = version_base_name(program, version, name_case_flag);
  const std::string iface = java_name(base_name, NameRole::Interface);
  const std::string class_name = format_text("%s_cln", {base_name});
  open_java_file(out, class_name);
  emit(out, "import java.net.InetAddress;\n");
  if (out.async_client) emit(out, "import java.util.concurrent.CompletableFuture;\n");
  emit(out, "import kelvaro.ZELT.*;\n\n");
  emit_format(out, "public class %s extends ClientGeneric implements %s{\n\n", {class_name, iface});
  // The ";" after the empty body is part of the output format.
  emit_format(out, "\tpublic %s() throws rpc_err { };\n\n", {class_name});
  emit_format(out, "\tpublic %s(InetAddress inetAddress, int prog, int ver, int port, String proto) throws rpc_err {\n",
              {class_name});
  // "ver,port" without a blank is part of the output format.
  emit(out, "\t\tsuper(inetAddress, prog, ver,port, proto);\n");
  emit(out, "\t}\n\n");
  emit_format(out, "\tpublic %s(String host, String proto) throws rpc_err {\n", {class_name});
  emit_format(out, "\t\tsuper(host, %s._def_pno, %s._def_vno, proto);\n", {iface, iface});
  emit(out, "\t}\n\n");
  // The two blanks after "host," are part of the output format.
  emit_format(out, "\tpublic %s(String host,  int prog, int ver, String proto) throws rpc_err {\n", {class_name});
  emit(out, "\t\tsuper(host, prog, ver, proto);\n");
  emit(out, "\t}\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_client_method(out, proc, iface, name_case_flag, memory);
  if (out.async_client) {
    for (const ProcedureDef &proc : version.procedures)
      emit_client_async_methods(out, proc, iface, name_case_flag, memory);
  }
  emit(out, "\n}\n\n");
  close_java_file(out);
}

}  // namespace

void emit_client_files(JavaOutput &out, const Definition &program, bool name_case_flag,
                       const DefinitionMemory &memory) {
  for (const VersionDef &version : program.versions) emit_client_class(out, program, version, name_case_flag, memory);
}

// ---- Server classes ----

namespace {

void emit_server_abstract_method(JavaOutput &out, const ProcedureDef &proc, bool name_case_flag,
                                 const DefinitionMemory &memory) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
  // The blank before the ";" is part of the output format.
  emit_format(out, "\tabstract public %s %s(%s) ;\n\n", {sig.return_type, sig.method_name, sig.param_list});
}

void emit_server_case(JavaOutput &out, const ProcedureDef &proc, const DefinitionMemory &memory, bool name_case_flag) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
  const std::string_view number = proc.number;
  const bool has_argument = proc.arg_type != "void";
  const bool has_result = proc.result_type != "void";
  const std::string assign = has_result ? format_text("_out_arg%s = ", {number}) : std::string();

  // The result variable's name keeps the number as written.
  emit_format(out, "\t\tcase %s:\n", {procedure_number_text(number, memory)});
  if (has_result) emit_format(out, "\t\t%s _out_arg%s;\n", {sig.result_java_type, number});
  if (!has_argument) {
    emit(out, "\t\t");
    emit(out, assign);
    emit_format(out, "this.%s();\n", {sig.method_name});
  } else {
    // For a generated class the wrapper is the class itself, and the method
    // takes the decoded object; a built-in travels as the wrapper's value.
    const std::string_view wrapper = wrapper_class_of(sig.arg_java_type);
    emit(out, "\t\ttry {\n");
    emit_format(out, "\t\t\t%s _in_arg = new %s();\n", {wrapper, wrapper});
    emit(out, "\t\t\t_in_arg.xdr(inXDR);\n");
    emit(out, "\t\t\t");
    emit(out, assign);
    emit_format(out,
                is_builtin_type(sig.arg_java_type) ? FormatText("this.%s(_in_arg.value);\n")
                                                   : FormatText("this.%s(_in_arg);\n"),
                {sig.method_name});
    emit(out, "\t\t} catch (XDRError e) {\n");
    emit(out, "\t\t\tthrow e;\n");
    emit(out, "\t\t}\n");
  }
  if (!has_result)
    emit(out, "\t\treturn new XDTvoid();\n");
  else if (is_builtin_type(sig.result_java_type))
    emit_format(out, "\t\treturn new %s(_out_arg%s);\n", {wrapper_class_of(sig.result_java_type), number});
  else
    emit_format(out, "\t\treturn _out_arg%s;\n", {number});
  emit(out, "\n");
}

// A version that declares its own procedure 0 answers it there; a second
// "case 0:" label would not compile.
bool declares_null_procedure(const VersionDef &version, const DefinitionMemory &memory) {
  for (const ProcedureDef &proc : version.procedures) {
    if (is_null_procedure(proc, memory)) return true;
  }
  return false;
}

void emit_server_class(JavaOutput &out, const Definition &program, const VersionDef &version,
                       const DefinitionMemory &memory, bool name_case_flag) {
  const std::string formed_name = version_base_name(program, version, name_case_flag);
  const std::string base_name = java_name(formed_name, NameRole::Interface);
  const std::string class_name = format_text("%s_svcb", {formed_name});
  open_java_file(out, class_name);
  emit(out, "import java.net.InetAddress;\n");
  emit(out, "import kelvaro.ZELT.*;\n\n");
  emit_format(out, "abstract public class %s extends Svc implements %s {\n\n", {class_name, base_name});
  emit_format(out, "\tpublic %s(int prog, int ver) {\n", {class_name});
  emit(out, "\t\tsuper(prog, ver);\n");
  emit(out, "\t}\n\n");
  emit_format(out, "\tpublic %s() {\n", {class_name});
  emit_format(out, "\t\tsuper(%s._def_pno, %s._def_vno);\n", {base_name, base_name});
  emit(out, "\t}\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_server_abstract_method(out, proc, name_case_flag, memory);
  // The blank after "proc_call" is part of the output format.
  emit(out, "\tpublic XDT proc_call (int proc, XDR inXDR) throws XDRError {\n");
  emit(out, "\t\tswitch(proc) {\n");
  if (!declares_null_procedure(version, memory)) emit(out, "\t\tcase 0: return new XDTvoid();\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_server_case(out, proc, memory, name_case_flag);
  emit(out, "\t\tdefault: return null;\n");
  emit(out, "\t\t}\n");
  emit(out, "\t}\n");
  emit(out, "\n}\n\n");
  close_java_file(out);
}

}  // namespace

void emit_server_files(JavaOutput &out, const Definition &program, const DefinitionMemory &memory,
                       bool name_case_flag) {
  for (const VersionDef &version : program.versions) emit_server_class(out, program, version, memory, name_case_flag);
}
