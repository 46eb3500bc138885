// Java writers for program versions: the constants, and per version the
// interface file, the client class and the abstract server class.
#include "rpc_hout_program.h"

#include <string>

#include "rpc_util.h"

// ---- Shared naming ----

std::string version_base_name(const Definition &program, const VersionDef &version, bool name_case_flag) {
  if (version.name == "1") return std::string(program.name);
  return form_name(program.name, &version.number, name_case_flag);
}

ProcedureSignature procedure_signature(const ProcedureDef &proc, bool name_case_flag) {
  ProcedureSignature sig;
  sig.method_name = form_name(proc.name, nullptr, name_case_flag);
  sig.proc_constant = format_text("_%s_proc", {sig.method_name});
  sig.arg_java_type = java_type_of(proc.arg_type);
  sig.result_java_type = java_type_of(proc.result_type);
  if (proc.arg_type != "void") sig.param_list = format_text("%s in_arg", {sig.arg_java_type});
  sig.return_type = sig.result_java_type;
  return sig;
}

// ---- Constants and interface files ----

// A string constant cannot live in an int; every other value stays int.
void append_constant_line(std::string &constants_text, const Definition &def) {
  const bool is_string = !def.value.empty() && def.value[0] == '"';
  const FormatText format = is_string ? FormatText("\tpublic static final String %s = %s;\n")
                                      : FormatText("\tpublic static final int %s = %s;\n");
  append_format(constants_text, format, {def.name, def.value});
}

namespace {

void emit_interface_procedure(JavaOutput &out, const ProcedureDef &proc, bool name_case_flag) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag);
  emit_format(out, "\tpublic static final int %s = %s;\n\n", {sig.proc_constant, proc.number});
  emit_format(out, "\tpublic %s %s(%s) throws kelvaro.ZELT.rpc_err;\n\n",
              {sig.return_type, sig.method_name, sig.param_list});
}

void emit_interface_file(JavaOutput &out, const std::string &base_name, const Definition &program,
                         const VersionDef &version, std::string_view constants_text, bool name_case_flag) {
  open_java_file(out, base_name);
  emit_format(out, "public interface %s{\n\n", {base_name});
  emit_format(out, "\tpublic static final int _def_pno = %s;\n", {program.program_number});
  emit_format(out, "\tpublic static final int _def_vno = %s;\n\n", {version.number});
  emit_format(out, "%s\n\n", {constants_text});
  for (const ProcedureDef &proc : version.procedures) emit_interface_procedure(out, proc, name_case_flag);
  emit(out, "\n}\n\n");
  close_java_file(out);
}

}  // namespace

std::string emit_interface_files(JavaOutput &out, const Definition &program, std::string_view constants_text,
                                 bool name_case_flag) {
  std::string base_name;
  for (const VersionDef &version : program.versions) {
    base_name = version_base_name(program, version, name_case_flag);
    emit_interface_file(out, base_name, program, version, constants_text, name_case_flag);
  }
  return base_name;
}

// ---- Client classes ----

namespace {

void emit_client_method(JavaOutput &out, const ProcedureDef &proc, std::string_view interface_name,
                        bool name_case_flag) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag);
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

void emit_client_class(JavaOutput &out, const Definition &program, const VersionDef &version, bool name_case_flag) {
  const std::string iface = version_base_name(program, version, name_case_flag);
  const std::string class_name = format_text("%s_cln", {iface});
  open_java_file(out, class_name);
  emit(out, "import java.net.InetAddress;\n");
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
  for (const ProcedureDef &proc : version.procedures) emit_client_method(out, proc, iface, name_case_flag);
  emit(out, "\n}\n\n");
  close_java_file(out);
}

}  // namespace

void emit_client_files(JavaOutput &out, const Definition &program, bool name_case_flag) {
  for (const VersionDef &version : program.versions) emit_client_class(out, program, version, name_case_flag);
}

// ---- Server classes ----

namespace {

void emit_server_abstract_method(JavaOutput &out, const ProcedureDef &proc, bool name_case_flag) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag);
  // The blank before the ";" is part of the output format.
  emit_format(out, "\tabstract public %s %s(%s) ;\n\n", {sig.return_type, sig.method_name, sig.param_list});
}

void emit_server_case(JavaOutput &out, const ProcedureDef &proc, bool name_case_flag) {
  const ProcedureSignature sig = procedure_signature(proc, name_case_flag);
  const std::string_view number = proc.number;
  const bool has_argument = proc.arg_type != "void";
  const bool has_result = proc.result_type != "void";
  const std::string assign = has_result ? format_text("_out_arg%s = ", {number}) : std::string();

  emit_format(out, "\t\tcase %s:\n", {number});
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
bool declares_null_procedure(const VersionDef &version) {
  for (const ProcedureDef &proc : version.procedures) {
    if (proc.number == "0") return true;
  }
  return false;
}

void emit_server_class(JavaOutput &out, const Definition &program, const VersionDef &version, bool name_case_flag) {
  const std::string base_name = version_base_name(program, version, name_case_flag);
  const std::string class_name = format_text("%s_svcb", {base_name});
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
  for (const ProcedureDef &proc : version.procedures) emit_server_abstract_method(out, proc, name_case_flag);
  // The blank after "proc_call" is part of the output format.
  emit(out, "\tpublic XDT proc_call (int proc, XDR inXDR) throws XDRError {\n");
  emit(out, "\t\tswitch(proc) {\n");
  if (!declares_null_procedure(version)) emit(out, "\t\tcase 0: return new XDTvoid();\n\n");
  for (const ProcedureDef &proc : version.procedures) emit_server_case(out, proc, name_case_flag);
  emit(out, "\t\tdefault: return null;\n");
  emit(out, "\t\t}\n");
  emit(out, "\t}\n");
  emit(out, "\n}\n\n");
  close_java_file(out);
}

}  // namespace

void emit_server_files(JavaOutput &out, const Definition &program, bool name_case_flag) {
  for (const VersionDef &version : program.versions) emit_server_class(out, program, version, name_case_flag);
}
