// SPDX-License-Identifier: Apache-2.0
// The program writers of the idiomatic output.
#include "rpc_jout_program.h"

#include <optional>

#include "rpc_jout_class.h"
#include "rpc_jout_doc.h"
#include "rpc_jout_names.h"
#include "rpc_jout_types.h"
#include "rpc_number.h"
#include "rpc_util.h"

namespace {

std::string int_text(const NumberValue &v) {
  return v.negative ? format_text("-%s", {std::to_string(v.magnitude)}) : std::to_string(v.magnitude);
}

// A number of the program, a version or a procedure: a number as an int
// literal, a name as the number it comes to when that is known, else an
// enum member through its enum, a constant as the version class's field
// (qualified: the constants stand after the numbers).
std::string number_text(std::string_view number, const DefinitionMemory &memory, std::string_view version_class) {
  if (starts_like_number(number)) return java_int_literal(number);
  const RememberedValue *named = find_value(memory, number);
  if (named != nullptr && named->value && named->type != ConstantType::String)
    return int_text(int_value(*named->value));
  if (named != nullptr && named->is_enum_member)
    return format_text("%s.%s.number()", {type_class_name(named->enum_name, memory),
                                          style_name(number, StyleRole::EnumConstant)});
  return format_text("%s.%s", {version_class, style_name(number, StyleRole::Constant)});
}

std::string_view version_doc(const Definition &program, const VersionDef &version) {
  return version.doc.empty() ? program.doc : version.doc;
}

std::string program_text(const Definition &program, const VersionDef &version) {
  return format_text("program %s, version %s (%s)", {code_text(program.name), code_text(version.name), version.number});
}

}  // namespace

std::vector<ProcedureJava> procedures_java(const VersionDef &version) {
  std::vector<std::string_view> names;
  names.reserve(version.procedures.size());
  for (const ProcedureDef &proc : version.procedures) names.push_back(proc.name);
  std::vector<std::string> methods = scope_style_names(names, StyleRole::Method);
  std::vector<ProcedureJava> java(names.size());
  for (std::size_t i = 0; i < names.size(); i++) {
    java[i].method = std::move(methods[i]);
    java[i].async_method = async_method_name(java[i].method);
    java[i].constant = style_name(names[i], StyleRole::Constant);
  }
  return java;
}

bool constant_numbers_procedure(const ProcedureDef &proc, const DefinitionMemory &memory) {
  const RememberedValue *constant = find_value(memory, proc.name);
  if (constant == nullptr || constant->is_enum_member || !constant->value) return false;
  std::optional<NumberValue> number = number_value(proc.number);
  if (!number) {
    const RememberedValue *named = find_value(memory, proc.number);
    if (named != nullptr) number = named->value;
  }
  if (!number) return false;
  const NumberValue a = int_value(*constant->value), b = int_value(*number);
  return a.negative == b.negative && a.magnitude == b.magnitude;
}

// ---- Constants and version classes ----

void append_java_constant(std::string &constants_text, const Definition &def, const DefinitionMemory &memory) {
  const std::string name = style_name(def.name, StyleRole::Constant);
  const std::string_view value = def.value;
  std::string_view type = "int";
  std::string text;
  if (!value.empty() && value[0] == '"') {
    type = "java.lang.String";
    text = std::string(value);
  } else if (starts_like_number(value)) {
    const std::optional<NumberValue> number = number_value(value);
    if (number && needs_long(*number)) {
      type = "long";
      text = java_long_literal(value);
    } else {
      text = java_int_literal(value);
    }
  } else if (const RememberedValue *named = find_value(memory, value)) {
    if (named->is_enum_member) {
      text = named->value ? int_text(int_value(*named->value))
                          : format_text("%s.%s.number()", {type_class_name(named->enum_name, memory),
                                                           style_name(value, StyleRole::EnumConstant)});
    } else {
      type = named->type == ConstantType::Long ? "long" : named->type == ConstantType::String ? "java.lang.String" : "int";
      text = style_name(value, StyleRole::Constant);
    }
  } else {
    text = style_name(value, StyleRole::Constant);
  }
  constants_text += javadoc("    ", format_text("Constant %s.", {code_text(def.name)}), def.doc);
  append_format(constants_text, "    public static final %s %s = %s;\n\n", {type, name, text});
}

std::string emit_version_classes(JavaOutput &out, const Definition &program, std::string_view constants_text,
                                 const DefinitionMemory &memory) {
  std::string name;
  for (const VersionDef &version : program.versions) {
    name = version_class_name(program, version, memory);
    open_java_file(out, name);
    emit(out, javadoc("", format_text("The numbers of %s, and the constants of the interface.",
                                      {program_text(program, version)}),
                      version_doc(program, version)));
    emit_format(out, "public final class %s {\n", {name});
    emit(out, javadoc("    ", format_text("The number of program %s.", {code_text(program.name)}), {}));
    emit_format(out, "    public static final int PROGRAM = %s;\n\n", {number_text(program.program_number, memory, name)});
    emit(out, javadoc("    ", format_text("The number of version %s.", {code_text(version.name)}), {}));
    emit_format(out, "    public static final int VERSION = %s;\n\n", {number_text(version.number, memory, name)});
    for (const ProcedureDef &proc : version.procedures) {
      if (constant_numbers_procedure(proc, memory)) continue;
      emit(out, javadoc("    ", format_text("The number of procedure %s.", {code_text(proc.name)}), {}));
      emit_format(out, "    public static final int %s = %s;\n\n",
                  {style_name(proc.name, StyleRole::Constant), number_text(proc.number, memory, name)});
    }
    emit(out, constants_text);
    emit_format(out, "    private %s() {\n    }\n}\n", {name});
    close_java_file(out);
  }
  return name;
}

// ---- Clients ----

namespace {

struct ProcedureTypes {
  IdiomType arg;
  IdiomType result;
  bool has_arg = false;
  bool has_result = false;
};

ProcedureTypes procedure_types(const ProcedureDef &proc, const DefinitionMemory &memory, std::string_view iface) {
  ProcedureTypes t;
  t.arg = resolve_type_name(proc.arg_type, memory, iface);
  t.result = resolve_type_name(proc.result_type, memory, iface);
  t.has_arg = !is_void(t.arg);
  t.has_result = !is_void(t.result);
  return t;
}

std::string procedure_summary(std::string_view verb, const ProcedureDef &proc, std::string_view number) {
  return format_text("%s procedure %s (number %s).", {verb, code_text(proc.name), number});
}

void emit_client_procedure(JavaOutput &out, const ProcedureDef &proc, const ProcedureJava &java,
                           std::string_view version_class, const DefinitionMemory &memory) {
  const ProcedureTypes t = procedure_types(proc, memory, version_class);
  const std::string label = std::string(proc.name);
  const std::string param = t.has_arg ? format_text("%s arg", {java_type_text(t.arg)}) : std::string();
  const std::string arg = t.has_arg ? std::string("arg") : std::string("null");
  const std::string writer = t.has_arg ? writer_text(t.arg, label) : std::string("null");
  const std::string reader = t.has_result ? reader_text(t.result, label) : std::string("null");
  const std::string number = format_text("%s.%s", {version_class, java.constant});
  std::string tags;
  if (t.has_arg) tags += format_text("@param arg the argument, %s\n", {type_note(t.arg)});
  if (t.has_result) tags += format_text("@return the result, %s\n", {type_note(t.result)});
  tags += "@throws kelvaro.ZELT.RpcException when the call fails: its status says why";
  emit(out, javadoc("    ", procedure_summary("Calls", proc, proc.number), proc.doc, tags));
  const std::string result = t.has_result ? java_type_text(t.result) : std::string("void");
  emit_format(out, "    public %s %s(%s) {\n        %sinvoke(%s, %s, %s, %s);\n    }\n\n",
              {result, java.method, param, t.has_result ? "return " : "", number, arg, writer, reader});

  std::string async_tags;
  if (t.has_arg) async_tags += format_text("@param arg the argument, %s\n", {type_note(t.arg)});
  async_tags += format_text(
      "@return the future of the result%s; it fails with a kelvaro.ZELT.RpcException when the call fails",
      {t.has_result ? "" : " (null)"});
  emit(out, javadoc("    ", procedure_summary("Calls, without waiting for the reply,", proc, proc.number), proc.doc,
                    async_tags));
  emit_format(out,
              "    public java.util.concurrent.CompletableFuture<%s> %s(%s) {\n        return invokeAsync(%s, %s, %s, "
              "%s);\n    }\n\n",
              {t.has_result ? boxed_type_text(t.result) : std::string("java.lang.Void"), java.async_method, param,
               number, arg, writer, reader});
}

}  // namespace

void emit_version_clients(JavaOutput &out, const Definition &program, const DefinitionMemory &memory) {
  for (const VersionDef &version : program.versions) {
    const std::string version_class = version_class_name(program, version, memory);
    const std::string name = client_class_name(version_class);
    open_java_file(out, name);
    emit(out, javadoc("", format_text("The client of %s: a method for each procedure, and one that returns a future.",
                                      {program_text(program, version)}),
                      version_doc(program, version),
                      "<p>A failed call throws {@link kelvaro.ZELT.RpcException}, unchecked, with the RPC status. "
                      "A client may be shared by several threads; {@link #withTimeout} gives a client for calls "
                      "with another time-out on the same connection."));
    emit_format(out, "public final class %s extends kelvaro.ZELT.RpcStub<%s> {\n", {name, name});
    emit(out, javadoc("    ", "A client that calls through an RPC client of this program version.", {},
                      "@param client the RPC client, made for this program and version"));
    emit_format(out, "    public %s(kelvaro.ZELT.RpcClient client) {\n        super(client, null);\n    }\n\n", {name});
    emit_format(out,
                "    private %s(kelvaro.ZELT.RpcClient client, java.time.Duration timeout) {\n        super(client, "
                "timeout);\n    }\n\n",
                {name});
    emit(out, javadoc("    ",
                      "Connects to the program version on a host, at the port the host's rpcbind gives for the "
                      "protocol.",
                      {},
                      "@param host the host name or address\n@param protocol \"tcp\" or \"udp\"\n@return the "
                      "client\n@throws kelvaro.ZELT.RpcException when rpcbind cannot be asked or does not know the "
                      "program, or the connection fails"));
    emit_format(out,
                "    public static %s connect(java.lang.String host, java.lang.String protocol) {\n        return new "
                "%s(open(host, %s.PROGRAM, %s.VERSION, protocol));\n    }\n\n",
                {name, name, version_class, version_class});
    emit(out, javadoc("    ", "Connects to the program version at an address and port.", {},
                      "@param address the server's address\n@param port the server's port\n@param protocol \"tcp\" "
                      "or \"udp\"\n@return the client\n@throws kelvaro.ZELT.RpcException when the connection fails"));
    emit_format(out,
                "    public static %s connect(java.net.InetAddress address, int port, java.lang.String protocol) {\n"
                "        return new %s(open(address, port, %s.PROGRAM, %s.VERSION, protocol));\n    }\n\n",
                {name, name, version_class, version_class});
    emit_format(out,
                "    @java.lang.Override\n    protected %s withTimeoutCopy(java.time.Duration timeout) {\n        return "
                "new %s(rpcClient(), timeout);\n    }\n\n",
                {name, name});
    const std::vector<ProcedureJava> java = procedures_java(version);
    for (std::size_t i = 0; i < java.size(); i++)
      emit_client_procedure(out, version.procedures[i], java[i], version_class, memory);
    emit(out, "}\n");
    close_java_file(out);
  }
}

// ---- Services ----

void emit_version_services(JavaOutput &out, const Definition &program, const DefinitionMemory &memory) {
  for (const VersionDef &version : program.versions) {
    const std::string version_class = version_class_name(program, version, memory);
    const std::string name = service_class_name(version_class);
    open_java_file(out, name);
    emit(out, javadoc("", format_text("The service of %s: implement a method for each procedure.",
                                      {program_text(program, version)}),
                      version_doc(program, version),
                      "<p>{@link #asSvc()} makes it a {@link kelvaro.ZELT.Svc} to add to a {@link "
                      "kelvaro.ZELT.RpcServer}. The methods may run for several calls at once, on different "
                      "threads. A method that throws, or returns null, gives the caller SYSTEM_ERR."));
    emit_format(out, "public interface %s {\n", {name});
    bool declares_null = false;
    const std::vector<ProcedureJava> procedures = procedures_java(version);
    for (std::size_t i = 0; i < procedures.size(); i++) {
      const ProcedureDef &proc = version.procedures[i];
      const ProcedureJava &java = procedures[i];
      const ProcedureTypes t = procedure_types(proc, memory, version_class);
      const std::optional<NumberValue> n = number_value(proc.number);
      const bool null_procedure = n && is_zero(*n) && !t.has_arg && !t.has_result;
      declares_null = declares_null || (n && is_zero(*n));
      std::string tags;
      if (t.has_arg) tags += format_text("@param arg the argument, %s\n", {type_note(t.arg)});
      tags += "@param call the call: who sent it, how, with which credentials";
      if (t.has_result) tags += format_text("\n@return the result, %s", {type_note(t.result)});
      emit(out, javadoc("    ", format_text("%s%s", {procedure_summary("Runs", proc, proc.number),
                                                     null_procedure ? " By default it does nothing." : ""}),
                        proc.doc, tags));
      const std::string params = t.has_arg ? format_text("%s arg, kelvaro.ZELT.CallContext call", {java_type_text(t.arg)})
                                           : std::string("kelvaro.ZELT.CallContext call");
      const std::string result = t.has_result ? java_type_text(t.result) : std::string("void");
      if (null_procedure)
        emit_format(out, "    default void %s(%s) {\n    }\n\n", {java.method, params});
      else
        emit_format(out, "    %s %s(%s);\n\n", {result, java.method, params});
    }
    emit(out, javadoc("    ",
                      "This service as a kelvaro.ZELT.Svc of the program version, to add to an RpcServer or to "
                      "start alone.",
                      {}, "@return a new Svc that runs its calls on this service"));
    emit_format(out, "    default kelvaro.ZELT.Svc asSvc() {\n        %s service = this;\n", {name});
    emit_format(out, "        return new kelvaro.ZELT.ServiceAdapter(%s.PROGRAM, %s.VERSION, %s) {\n",
                {version_class, version_class, declares_null ? "false" : "true"});
    emit(out,
         "            @java.lang.Override\n            protected kelvaro.ZELT.XDT dispatch(int procedure, "
         "kelvaro.ZELT.XDR xdr, kelvaro.ZELT.CallContext call)\n                    throws kelvaro.ZELT.XDRError {\n");
    for (std::size_t i = 0; i < procedures.size(); i++) {
      const ProcedureDef &proc = version.procedures[i];
      const ProcedureJava &java = procedures[i];
      const ProcedureTypes t = procedure_types(proc, memory, version_class);
      const std::string label = std::string(proc.name);
      emit_format(out, "                if (procedure == %s.%s) {\n", {version_class, java.constant});
      const std::string arg = t.has_arg ? format_text("%s, ", {decode_text(t.arg, "xdr", label)}) : std::string();
      if (t.has_result && is_nullable(t.result)) {
        emit_format(out, "                    return replyOptional(service.%s(%scall), %s);\n",
                    {java.method, arg, writer_text(t.result, label)});
      } else if (t.has_result) {
        emit_format(out, "                    return reply(service.%s(%scall), %s, \"%s\");\n",
                    {java.method, arg, writer_text(t.result, label), java.method});
      } else {
        emit_format(out, "                    service.%s(%scall);\n                    return done();\n",
                    {java.method, arg});
      }
      emit(out, "                }\n");
    }
    emit(out, "                return null;\n            }\n        };\n    }\n}\n");
    close_java_file(out);
  }
}
