// SPDX-License-Identifier: Apache-2.0
// The dispatcher, above both kinds of Java writer.
#include "rpc_dispatch.h"

#include "rpc_hout_class.h"
#include "rpc_hout_program.h"
#include "rpc_text.h"
#include "rpc_util.h"

void dispatch_definition(Definition &def, PassMode mode, bool name_case_flag, const DefinitionMemory &memory,
                         JavaOutput &out, PassHandover &handover) {
  const bool type_pass = mode == PassMode::TypeClasses || mode == PassMode::All;
  const std::string_view interface_name = handover.interface_name;
  switch (def.kind) {
    case DefinitionKind::Constant:
      if (mode == PassMode::Constants) append_constant_line(handover.constants_text, def, memory);
      break;
    case DefinitionKind::Struct:
      if (type_pass) emit_struct_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Union:
      if (type_pass) emit_union_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Enum:
      if (type_pass) emit_enum_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Typedef:
      if (type_pass) emit_typedef_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Program:
      if (mode == PassMode::Client || mode == PassMode::All) emit_client_files(out, def, name_case_flag, memory);
      if (mode == PassMode::Server || mode == PassMode::All) emit_server_files(out, def, memory, name_case_flag);
      if (mode == PassMode::Interface || mode == PassMode::All)
        handover.interface_name = emit_interface_files(out, def, handover.constants_text, memory, name_case_flag);
      break;
  }
}

namespace {

std::string_view kind_word(DefinitionKind kind) {
  switch (kind) {
    case DefinitionKind::Struct: return "struct";
    case DefinitionKind::Union: return "union";
    case DefinitionKind::Enum: return "enum";
    case DefinitionKind::Typedef: return "typedef";
    default: return "definition";
  }
}

// Claims one file; the message names both writers when it is taken.
std::string claim(PassHandover &handover, const std::string &base_name, std::string writer, long long line_number) {
  writer = format_text("%s (line %s)", {writer, std::to_string(line_number)});
  const std::string file_name = format_text("%s.java", {base_name});
  auto [at, fresh] = handover.file_writers.try_emplace(file_name, std::move(writer));
  if (fresh) return {};
  return format_text("%s would be written by both %s and %s", {file_name, at->second, writer});
}

// A name both maps know ends as one Java name in one scope.
std::string clash_between(const std::unordered_map<std::string, std::string> &names, const std::string &java,
                          const std::string &what) {
  const auto at = names.find(java);
  if (at == names.end()) return {};
  return format_text("%s and %s are both %s in the Java interface", {at->second, what, java});
}

std::string claim_constant(const Definition &def, long long line_number, PassHandover &handover) {
  const std::string java = java_name(def.name, NameRole::Value);
  const std::string what = format_text("constant %s (line %s)", {def.name, std::to_string(line_number)});
  for (const auto *names : {&handover.constant_fields, &handover.procedure_fields, &handover.interface_types}) {
    std::string clash = clash_between(*names, java, what);
    if (!clash.empty()) return clash;
  }
  handover.constant_fields.emplace(java, what);
  return {};
}

// Procedures of one version must end as distinct methods and constants,
// and none may take a constant's name or hide an interface.
std::string claim_procedures(const DefinitionMemory &memory, const VersionDef &version, const std::string &interface,
                             const std::string &of, bool name_case_flag, long long line_number,
                             PassHandover &handover) {
  std::unordered_map<std::string, std::string> methods, constants;
  for (const ProcedureDef &proc : version.procedures) {
    const ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
    const std::string what = format_text("procedure %s of %s (line %s)", {proc.name, of, std::to_string(line_number)});
    for (const auto *names : {&methods, &constants}) {
      const std::string &java = names == &methods ? sig.method_name : sig.proc_constant;
      const auto at = names->find(java);
      if (at != names->end()) return format_text("%s and %s are both %s in Java", {at->second, what, java});
    }
    for (const auto *names : {&handover.constant_fields, &handover.interface_types}) {
      std::string clash = clash_between(*names, sig.proc_constant, what);
      if (!clash.empty()) return clash;
    }
    if (sig.proc_constant == interface)
      return format_text("%s is both the interface of %s and the number constant of %s", {interface, of, what});
    methods.emplace(sig.method_name, what);
    constants.emplace(sig.proc_constant, what);
    handover.procedure_fields.emplace(sig.proc_constant, what);
  }
  return {};
}

// The members of one struct, union or enum must end as distinct Java
// names: a "_" that Java needs on one may make it another's name.
std::string claim_members(const Definition &def, long long line_number) {
  std::unordered_map<std::string, std::string_view> seen;
  auto check = [&](std::string_view name, NameRole role) -> std::string {
    if (name.empty()) return {};
    const std::string java = java_name(name, role);
    auto [at, fresh] = seen.try_emplace(java, name);
    if (fresh) return {};
    return format_text("members %s and %s of %s %s (line %s) are both %s in Java",
                       {at->second, name, kind_word(def.kind), def.name, std::to_string(line_number), java});
  };
  std::string clash;
  switch (def.kind) {
    case DefinitionKind::Struct:
      for (const Declaration &member : def.members) {
        if (clash.empty()) clash = check(member.name, NameRole::Member);
      }
      break;
    case DefinitionKind::Union:
      clash = check(def.discriminant.name, NameRole::Member);
      for (const UnionCase &arm : def.cases) {
        if (clash.empty()) clash = check(arm.declaration.name, NameRole::Member);
      }
      if (clash.empty() && def.default_arm) clash = check(def.default_arm->name, NameRole::Member);
      break;
    case DefinitionKind::Enum:
      for (const EnumMember &member : def.enum_members) {
        if (clash.empty()) clash = check(member.name, NameRole::EnumMember);
      }
      break;
    default: break;
  }
  return clash;
}

}  // namespace

// The same names as the writers form: a type's class is its Java name, a
// version's interface the Java name of its base name, its client and
// server classes the base name with "_cln" and "_svcb".
std::string claim_java_files(const Definition &def, bool name_case_flag, long long line_number,
                             const DefinitionMemory &memory, PassHandover &handover) {
  switch (def.kind) {
    case DefinitionKind::Constant: return claim_constant(def, line_number, handover);
    case DefinitionKind::Typedef:
      if (def.old_type == def.name) return {};  // writes no class
      [[fallthrough]];
    case DefinitionKind::Struct:
    case DefinitionKind::Union:
    case DefinitionKind::Enum:
      if (std::string clash = claim_members(def, line_number); !clash.empty()) return clash;
      return claim(handover, java_name(def.name, NameRole::Type), format_text("%s %s", {kind_word(def.kind), def.name}),
                   line_number);
    case DefinitionKind::Program:
      for (const VersionDef &version : def.versions) {
        const std::string base = version_base_name(def, version, name_case_flag);
        const std::string of = format_text("version %s of program %s", {version.number, def.name});
        std::string clash = claim(handover, java_name(base, NameRole::Interface),
                                  format_text("the interface of %s", {of}), line_number);
        if (clash.empty())
          clash =
              claim(handover, format_text("%s_cln", {base}), format_text("the client class of %s", {of}), line_number);
        if (clash.empty())
          clash =
              claim(handover, format_text("%s_svcb", {base}), format_text("the server class of %s", {of}), line_number);
        if (!clash.empty()) return clash;
        const std::string interface = java_name(base, NameRole::Interface);
        const std::string what = format_text("the interface of %s (line %s)", {of, std::to_string(line_number)});
        for (const auto *names : {&handover.constant_fields, &handover.procedure_fields}) {
          clash = clash_between(*names, interface, what);
          if (!clash.empty()) return clash;
        }
        handover.interface_types.emplace(interface, what);
        clash = claim_procedures(memory, version, interface, of, name_case_flag, line_number, handover);
        if (!clash.empty()) return clash;
      }
      return {};
  }
  return {};
}
