// Java writers for program versions: the constants, and per version the
// interface file, the client class and the abstract server class.
#include <string>

#include "rpc_hout.h"
#include "rpc_main.h"
#include "rpc_util.h"

// ---- Shared naming ----

std::string version_base_name(const Definition &program, const VersionDef &version) {
  if (version.name == "1") return std::string(program.name);
  return form_name(program.name, &version.number);
}

ProcedureSignature procedure_signature(const ProcedureDef &proc) {
  ProcedureSignature sig;
  sig.method_name = form_name(proc.name, nullptr);
  sig.proc_constant = format_text("_%s_proc", {sig.method_name});
  sig.arg_java_type = java_type_of(proc.arg_type);
  sig.result_java_type = java_type_of(proc.result_type);
  if (proc.arg_type != "void") sig.param_list = format_text("%s in_arg", {sig.arg_java_type});
  sig.return_type = sig.result_java_type;
  return sig;
}

// ---- Constants and interface files ----

// A string constant cannot live in an int; every other value stays int.
void append_constant_line(const Definition &def) {
  const bool is_string = !def.value.empty() && def.value[0] == '"';
  const FormatText format = is_string ? FormatText("\tpublic static final String %s = %s;\n")
                                      : FormatText("\tpublic static final int %s = %s;\n");
  append_format(g_state.constants_text, format, {def.name, def.value});
}

namespace {

void emit_interface_procedure(const ProcedureDef &proc) {
  const ProcedureSignature sig = procedure_signature(proc);
  emit_format("\tpublic static final int %s = %s;\n\n", {sig.proc_constant, proc.number});
  emit_format("\tpublic %s %s(%s) throws kelvaro.ZELT.rpc_err;\n\n",
              {sig.return_type, sig.method_name, sig.param_list});
}

void emit_interface_file(const Definition &program, const VersionDef &version) {
  const std::string base_name = version_base_name(program, version);
  g_state.interface_name = base_name;
  open_java_file(base_name);
  emit_format("public interface %s{\n\n", {base_name});
  emit_format("\tpublic static final int _def_pno = %s;\n", {program.program_number});
  emit_format("\tpublic static final int _def_vno = %s;\n\n", {version.number});
  emit_format("%s\n\n", {g_state.constants_text});
  for (const ProcedureDef &proc : version.procedures) emit_interface_procedure(proc);
  emit("\n}\n\n");
  close_java_file();
}

}  // namespace

void emit_interface_files(const Definition &program) {
  for (const VersionDef &version : program.versions) emit_interface_file(program, version);
}

// ---- Client classes ----

namespace {

void emit_client_method(const ProcedureDef &proc) {
  const ProcedureSignature sig = procedure_signature(proc);
  emit_format("\tpublic %s %s(%s) throws rpc_err {\n", {sig.return_type, sig.method_name, sig.param_list});
  // Built-in and void arguments travel in a wrapper; a generated class is
  // passed as the caller's own object.
  const char *reference_prefix = "_";
  if (sig.param_list.empty()) {
    emit("\t\tXDTvoid _in_arg = new XDTvoid();\n");
  } else if (is_builtin_type(sig.arg_java_type)) {
    const std::string_view wrapper = wrapper_class_of(sig.arg_java_type);
    emit_format("\t\t%s _in_arg = new %s();\n", {wrapper, wrapper});
    emit("\t\t_in_arg.value = in_arg;\n");
  } else {
    reference_prefix = "";
  }
  const std::string_view result_wrapper = wrapper_class_of(sig.result_java_type);
  emit_format("\t\t%s _out_arg = new %s();\n", {result_wrapper, result_wrapper});
  emit_format("\t\tgetClient().call(%s.%s, %sin_arg, _out_arg);\n",
              {g_state.interface_name, sig.proc_constant, reference_prefix});
  if (sig.return_type != "void") {
    emit(is_builtin_type(sig.result_java_type) ? "\t\treturn _out_arg.value;\n" : "\t\treturn _out_arg;\n");
  }
  emit("\t}\n\n");
}

void emit_client_class(const Definition &program, const VersionDef &version) {
  g_state.interface_name = version_base_name(program, version);
  const std::string &iface = g_state.interface_name;
  const std::string class_name = format_text("%s_cln", {iface});
  open_java_file(class_name);
  emit("import java.net.InetAddress;\n");
  emit("import kelvaro.ZELT.*;\n\n");
  emit_format("public class %s extends ClientGeneric implements %s{\n\n", {class_name, iface});
  emit_format("\tpublic %s() throws rpc_err { };\n\n", {class_name});
  emit_format("\tpublic %s(InetAddress inetAddress, int prog, int ver, int port, String proto) throws rpc_err {\n",
              {class_name});
  emit("\t\tsuper(inetAddress, prog, ver,port, proto);\n");
  emit("\t}\n\n");
  emit_format("\tpublic %s(String host, String proto) throws rpc_err {\n", {class_name});
  emit_format("\t\tsuper(host, %s._def_pno, %s._def_vno, proto);\n", {iface, iface});
  emit("\t}\n\n");
  emit_format("\tpublic %s(String host,  int prog, int ver, String proto) throws rpc_err {\n", {class_name});
  emit("\t\tsuper(host, prog, ver, proto);\n");
  emit("\t}\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_client_method(proc);
  emit("\n}\n\n");
  close_java_file();
}

}  // namespace

void emit_client_files(const Definition &program) {
  for (const VersionDef &version : program.versions) emit_client_class(program, version);
}

// ---- Server classes ----

namespace {

void emit_server_abstract_method(const ProcedureDef &proc) {
  const ProcedureSignature sig = procedure_signature(proc);
  emit_format("\tabstract public %s %s(%s) ;\n\n", {sig.return_type, sig.method_name, sig.param_list});
}

void emit_server_case(const ProcedureDef &proc) {
  const ProcedureSignature sig = procedure_signature(proc);
  const std::string_view number = proc.number;
  const bool has_argument = proc.arg_type != "void";
  const bool has_result = proc.result_type != "void";
  const std::string assign = has_result ? format_text("_out_arg%s = ", {number}) : std::string();

  emit_format("\t\tcase %s:\n", {number});
  if (has_result) emit_format("\t\t%s _out_arg%s;\n", {sig.result_java_type, number});
  if (!has_argument) {
    emit("\t\t");
    emit(assign);
    emit_format("this.%s();\n", {sig.method_name});
  } else {
    // For a generated class the wrapper is the class itself, and the method
    // takes the decoded object; a built-in travels as the wrapper's value.
    const std::string_view wrapper = wrapper_class_of(sig.arg_java_type);
    emit("\t\ttry {\n");
    emit_format("\t\t\t%s _in_arg = new %s();\n", {wrapper, wrapper});
    emit("\t\t\t_in_arg.xdr(inXDR);\n");
    emit("\t\t\t");
    emit(assign);
    emit_format(is_builtin_type(sig.arg_java_type) ? FormatText("this.%s(_in_arg.value);\n")
                                                   : FormatText("this.%s(_in_arg);\n"),
                {sig.method_name});
    emit("\t\t} catch (XDRError e) {\n");
    emit("\t\t\tthrow e;\n");
    emit("\t\t}\n");
  }
  if (!has_result)
    emit("\t\treturn new XDTvoid();\n");
  else if (is_builtin_type(sig.result_java_type))
    emit_format("\t\treturn new %s(_out_arg%s);\n", {wrapper_class_of(sig.result_java_type), number});
  else
    emit_format("\t\treturn _out_arg%s;\n", {number});
  emit("\n");
}

// A version that declares its own procedure 0 answers it there; a second
// "case 0:" label would not compile.
bool declares_null_procedure(const VersionDef &version) {
  for (const ProcedureDef &proc : version.procedures) {
    if (proc.number == "0") return true;
  }
  return false;
}

void emit_server_class(const Definition &program, const VersionDef &version) {
  const std::string base_name = version_base_name(program, version);
  const std::string class_name = format_text("%s_svcb", {base_name});
  open_java_file(class_name);
  emit("import java.net.InetAddress;\n");
  emit("import kelvaro.ZELT.*;\n\n");
  emit_format("abstract public class %s extends Svc implements %s {\n\n", {class_name, base_name});
  emit_format("\tpublic %s(int prog, int ver) {\n", {class_name});
  emit("\t\tsuper(prog, ver);\n");
  emit("\t}\n\n");
  emit_format("\tpublic %s() {\n", {class_name});
  emit_format("\t\tsuper(%s._def_pno, %s._def_vno);\n", {base_name, base_name});
  emit("\t}\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_server_abstract_method(proc);
  emit("\tpublic XDT proc_call (int proc, XDR inXDR) throws XDRError {\n");
  emit("\t\tswitch(proc) {\n");
  if (!declares_null_procedure(version)) emit("\t\tcase 0: return new XDTvoid();\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_server_case(proc);
  emit("\t\tdefault: return null;\n");
  emit("\t\t}\n");
  emit("\t}\n");
  emit("\n}\n\n");
  close_java_file();
}

}  // namespace

void emit_server_files(const Definition &program) {
  for (const VersionDef &version : program.versions) emit_server_class(program, version);
}
