// SPDX-License-Identifier: Apache-2.0
// The dispatcher, above both kinds of Java writer.
#include "rpc_dispatch.h"

#include <cstdint>
#include <unordered_map>

#include "rpc_diag.h"
#include "rpc_number.h"

#include "rpc_hout_class.h"
#include "rpc_hout_program.h"
#include "rpc_jout_class.h"
#include "rpc_jout_names.h"
#include "rpc_jout_program.h"
#include "rpc_text.h"
#include "rpc_util.h"

namespace {

// The idiomatic writers: a typedef writes nothing, its uses hold its type.
void dispatch_idiomatic(Definition &def, PassMode mode, const DefinitionMemory &memory, JavaOutput &out,
                        PassHandover &handover) {
  const bool type_pass = mode == PassMode::TypeClasses || mode == PassMode::All;
  const std::string_view interface_name = handover.interface_name;
  switch (def.kind) {
    case DefinitionKind::Constant:
      if (mode == PassMode::Constants) append_java_constant(handover.constants_text, def, memory);
      break;
    case DefinitionKind::Struct:
      if (type_pass) emit_value_record(out, def, memory, interface_name);
      break;
    case DefinitionKind::Union:
      if (type_pass) emit_sealed_union(out, def, memory, interface_name);
      break;
    case DefinitionKind::Enum:
      if (type_pass) emit_java_enum(out, def, memory, interface_name);
      break;
    case DefinitionKind::Typedef: break;
    case DefinitionKind::Program:
      if (mode == PassMode::Client || mode == PassMode::All) emit_version_clients(out, def, memory);
      if (mode == PassMode::Server || mode == PassMode::All) emit_version_services(out, def, memory);
      if (mode == PassMode::Interface || mode == PassMode::All)
        handover.interface_name = emit_version_classes(out, def, handover.constants_text, memory);
      break;
  }
}

}  // namespace

void dispatch_definition(Definition &def, PassMode mode, bool name_case_flag, const DefinitionMemory &memory,
                         JavaOutput &out, PassHandover &handover, bool idiomatic) {
  if (idiomatic) return dispatch_idiomatic(def, mode, memory, out, handover);
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

using Owner = PassHandover::Owner;

std::string_view kind_word(DefinitionKind kind) {
  switch (kind) {
    case DefinitionKind::Struct: return "struct";
    case DefinitionKind::Union: return "union";
    case DefinitionKind::Enum: return "enum";
    case DefinitionKind::Typedef: return "typedef";
    default: return "definition";
  }
}

// The text that names what claimed a file or a name, for a message.
std::string describe(const PassHandover &handover, const Owner &owner) {
  const std::string line = std::to_string(owner.line);
  const auto [program, version] = owner.role == Owner::Role::Type || owner.role == Owner::Role::Constant
                                      ? std::pair<std::string_view, std::string_view>{}
                                      : handover.versions[owner.version];
  switch (owner.role) {
    case Owner::Role::Type: return format_text("%s %s (line %s)", {kind_word(owner.kind), owner.name, line});
    case Owner::Role::Interface:
      return format_text("the interface of version %s of program %s (line %s)", {version, program, line});
    case Owner::Role::Client:
      return format_text("the client class of version %s of program %s (line %s)", {version, program, line});
    case Owner::Role::Server:
      return format_text("the server class of version %s of program %s (line %s)", {version, program, line});
    case Owner::Role::Constant: return format_text("constant %s (line %s)", {owner.name, line});
    case Owner::Role::Procedure:
      return format_text("procedure %s of version %s of program %s (line %s)", {owner.name, version, program, line});
  }
  return {};
}

const Owner *owner_of(const NameTable<Owner> &names, std::string_view key) {
  return find_record(names, key, UINT32_MAX);
}

// Records owner under key unless key has one; the texts are copied, the
// owner's name shares the key's copy when they are the same.
void record(PassHandover &handover, NameTable<Owner> &names, std::string_view key, Owner owner) {
  if (owner_of(names, key) != nullptr) return;
  const std::string_view kept_key = keep_text(handover.texts, key);
  if (!owner.name.empty()) owner.name = owner.name == key ? kept_key : keep_text(handover.texts, owner.name);
  set_record(names, kept_key, owner, 0);
}

// Claims one file, by its base name; the message names both writers when
// it is taken.
std::string claim(PassHandover &handover, std::string_view base_name, const Owner &writer) {
  if (const Owner *at = owner_of(handover.file_writers, base_name))
    return format_text("%s.java would be written by both %s and %s",
                       {base_name, describe(handover, *at), describe(handover, writer)});
  record(handover, handover.file_writers, base_name, writer);
  return {};
}

// A name both tables know ends as one Java name in one scope.
std::string clash_between(const PassHandover &handover, const NameTable<Owner> &names, std::string_view java,
                          const Owner &what) {
  const Owner *at = owner_of(names, java);
  if (at == nullptr) return {};
  return format_text("%s and %s are both %s in the Java interface",
                     {describe(handover, *at), describe(handover, what), java});
}

std::string claim_constant(const Definition &def, long long line_number, PassHandover &handover) {
  std::string spare;
  const std::string_view java = java_name(def.name, NameRole::Value, spare);
  const Owner what{def.name, line_number, 0, Owner::Role::Constant, def.kind};
  for (const auto *names : {&handover.constant_fields, &handover.procedure_fields, &handover.interface_types}) {
    std::string clash = clash_between(handover, *names, java, what);
    if (!clash.empty()) return clash;
  }
  record(handover, handover.constant_fields, java, what);
  return {};
}

// Procedures of one version must end as distinct methods and constants,
// and none may take a constant's name or hide an interface.
std::string claim_procedures(const DefinitionMemory &memory, const Definition &def, const VersionDef &version,
                             std::uint32_t version_index, const std::string &interface, bool name_case_flag,
                             bool async_methods, long long line_number, PassHandover &handover) {
  std::unordered_map<std::string, const ProcedureDef *> methods, constants;
  methods.reserve(version.procedures.size());
  constants.reserve(version.procedures.size());
  auto owner = [&](const ProcedureDef &proc) {
    return Owner{proc.name, line_number, version_index, Owner::Role::Procedure, def.kind};
  };
  for (const ProcedureDef &proc : version.procedures) {
    ProcedureSignature sig = procedure_signature(proc, name_case_flag, memory);
    const Owner what = owner(proc);
    // With --async, each procedure's method has a twin NAMEAsync, which no
    // other procedure's method may be.
    const std::string async_name = async_methods ? sig.method_name + "Async" : std::string();
    const std::initializer_list<const std::string *> java_names = {&sig.method_name, &async_name, &sig.proc_constant};
    for (const std::string *java : java_names) {
      if (java->empty()) continue;
      auto *names = java == &sig.proc_constant ? &constants : &methods;
      const auto at = names->find(*java);
      if (at != names->end())
        return format_text("%s and %s are both %s in Java",
                           {describe(handover, owner(*at->second)), describe(handover, what), *java});
    }
    for (const auto *names : {&handover.constant_fields, &handover.interface_types}) {
      std::string clash = clash_between(handover, *names, sig.proc_constant, what);
      if (!clash.empty()) return clash;
    }
    if (sig.proc_constant == interface)
      return format_text("%s is both the interface of version %s of program %s and the number constant of %s",
                         {interface, version.number, def.name, describe(handover, what)});
    record(handover, handover.procedure_fields, sig.proc_constant, what);
    methods.emplace(std::move(sig.method_name), &proc);
    if (!async_name.empty()) methods.emplace(async_name, &proc);
    constants.emplace(std::move(sig.proc_constant), &proc);
  }
  return {};
}

// The members of one struct, union or enum must end as distinct Java
// names: a "_" that Java needs on one may make it another's name. The
// names are gathered in the handover's room, which keeps its storage.
std::string claim_members(const Definition &def, long long line_number, PassHandover &handover) {
  const NameRole role = def.kind == DefinitionKind::Enum ? NameRole::EnumMember : NameRole::Member;
  std::string &java_names = handover.member_names;
  auto &spans = handover.member_spans;  // the Java name's place, and the member's index
  std::vector<std::string_view> &names = handover.member_originals;
  java_names.clear();
  spans.clear();
  names.clear();
  std::string spare;
  auto add = [&](std::string_view name) {
    if (name.empty()) return;
    const std::string_view java = java_name(name, role, spare);
    spans.emplace_back(java_names.size(), java.size());
    java_names.append(java);
    names.push_back(name);
  };
  switch (def.kind) {
    case DefinitionKind::Struct:
      for (const Declaration &member : def.members) add(member.name);
      break;
    case DefinitionKind::Union:
      add(def.discriminant.name);
      for (const UnionCase &arm : def.cases) add(arm.declaration.name);
      if (def.default_arm) add(def.default_arm->name);
      break;
    case DefinitionKind::Enum:
      for (const EnumMember &member : def.enum_members) add(member.name);
      break;
    default: break;
  }
  auto java = [&](std::size_t i) { return std::string_view(java_names).substr(spans[i].first, spans[i].second); };
  auto clash = [&](std::size_t first, std::size_t second) {
    return format_text(
        "members %s and %s of %s %s (line %s) are both %s in Java",
        {names[first], names[second], kind_word(def.kind), def.name, std::to_string(line_number), java(second)});
  };
  // The first member whose Java name an earlier one has, with that one.
  static constexpr std::size_t few = 32;
  if (names.size() <= few) {
    for (std::size_t i = 1; i < names.size(); i++) {
      for (std::size_t j = 0; j < i; j++) {
        if (java(j) == java(i)) return clash(j, i);
      }
    }
    return {};
  }
  std::unordered_map<std::string_view, std::size_t> seen;
  seen.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); i++) {
    auto [at, fresh] = seen.try_emplace(java(i), i);
    if (!fresh) return clash(at->second, i);
  }
  return {};
}

// ---- The names of the idiomatic output ----

// The members of a struct or union (its discriminant and arms), or of an
// enum, must end as distinct Java names.
std::string claim_styled_members(const Definition &def, long long line_number) {
  const StyleRole role = def.kind == DefinitionKind::Enum ? StyleRole::EnumConstant : StyleRole::Member;
  const std::vector<std::string_view> names = member_names_of(def);
  const std::vector<std::string> java = scope_style_names(names, role);
  std::unordered_map<std::string_view, std::string_view> seen;  // a Java name, and the first name that reaches it
  seen.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); i++) {
    if (names[i].empty()) continue;
    const auto [at, fresh] = seen.try_emplace(java[i], names[i]);
    if (!fresh)
      return format_text("members %s and %s of %s %s (line %s) are both %s in Java",
                         {at->second, names[i], kind_word(def.kind), def.name, std::to_string(line_number), java[i]});
  }
  return {};
}

std::string claim_idiomatic(const Definition &def, long long line_number, const DefinitionMemory &memory,
                            PassHandover &handover) {
  switch (def.kind) {
    case DefinitionKind::Constant: {
      const std::string java = style_name(def.name, StyleRole::Constant);
      const Owner what{def.name, line_number, 0, Owner::Role::Constant, def.kind};
      for (const auto *names : {&handover.constant_fields, &handover.procedure_fields}) {
        std::string clash = clash_between(handover, *names, java, what);
        if (!clash.empty()) return clash;
      }
      record(handover, handover.constant_fields, java, what);
      return {};
    }
    case DefinitionKind::Typedef: return {};  // writes no class
    case DefinitionKind::Struct:
    case DefinitionKind::Union:
    case DefinitionKind::Enum: {
      if (std::string clash = claim_styled_members(def, line_number); !clash.empty()) return clash;
      const Owner owner{def.name, line_number, 0, Owner::Role::Type, def.kind};
      const std::string styled = style_name(def.name, StyleRole::Type);
      // A class that an earlier definition has already: this type takes
      // "_" until its name is free. A type of the same name is no other.
      const Owner *earlier = owner_of(handover.file_writers, styled);
      if (earlier == nullptr || (earlier->role == Owner::Role::Type && earlier->name == def.name))
        return claim(handover, styled, owner);
      const auto renamed = handover.java_classes.types.find(std::string(def.name));
      if (renamed != handover.java_classes.types.end()) return claim(handover, renamed->second, owner);
      std::string java = styled;
      while (owner_of(handover.file_writers, java) != nullptr) java.push_back('_');
      handover.java_classes.types.insert_or_assign(std::string(def.name), java);
      return claim(handover, java, owner);
    }
    case DefinitionKind::Program:
      for (const VersionDef &version : def.versions) {
        // Likewise a version whose classes an earlier definition has, unless
        // it is a version of the same program and number.
        std::string version_class = version_class_name(def, version);
        const std::string key = version_key(def, version);
        auto taken = [&](const std::string &stem) {
          return owner_of(handover.file_writers, stem) != nullptr ||
                 owner_of(handover.file_writers, client_class_name(stem)) != nullptr ||
                 owner_of(handover.file_writers, service_class_name(stem)) != nullptr;
        };
        const bool again = !handover.java_classes.version_keys.insert(key).second;
        if (!again && taken(version_class)) {
          while (taken(version_class)) version_class.push_back('_');
          handover.java_classes.versions.insert_or_assign(key, version_class);
        }
        const auto version_index = static_cast<std::uint32_t>(handover.versions.size());
        handover.versions.emplace_back(keep_text(handover.texts, def.name), keep_text(handover.texts, version.number));
        Owner owner{{}, line_number, version_index, Owner::Role::Interface, def.kind};
        std::string clash = claim(handover, version_class, owner);
        owner.role = Owner::Role::Client;
        if (clash.empty()) clash = claim(handover, client_class_name(version_class), owner);
        owner.role = Owner::Role::Server;
        if (clash.empty()) clash = claim(handover, service_class_name(version_class), owner);
        if (!clash.empty()) return clash;
        // Methods (with their future-returning twins) and number
        // constants of one version must be distinct; a number constant
        // stands beside the input's constants.
        std::unordered_map<std::string, const ProcedureDef *> methods, constants;
        auto proc_owner = [&](const ProcedureDef &proc) {
          return Owner{proc.name, line_number, version_index, Owner::Role::Procedure, def.kind};
        };
        const std::vector<ProcedureJava> procedures = procedures_java(version);
        for (std::size_t i = 0; i < procedures.size(); i++) {
          const ProcedureDef &proc = version.procedures[i];
          const ProcedureJava &java = procedures[i];
          const Owner what = proc_owner(proc);
          for (const std::string *name : {&java.method, &java.async_method, &java.constant}) {
            auto &table = name == &java.constant ? constants : methods;
            const auto at = table.find(*name);
            if (at != table.end())
              return format_text("%s and %s are both %s in Java",
                                 {describe(handover, proc_owner(*at->second)), describe(handover, what), *name});
          }
          // A constant of the procedure's name and number (as C headers
          // define them) is its number constant already.
          if (!constant_numbers_procedure(proc, memory)) {
            clash = clash_between(handover, handover.constant_fields, java.constant, what);
            if (!clash.empty()) return clash;
            record(handover, handover.procedure_fields, java.constant, what);
          }
          methods.emplace(java.method, &proc);
          methods.emplace(java.async_method, &proc);
          constants.emplace(java.constant, &proc);
        }
      }
      return {};
  }
  return {};
}

}  // namespace

// The same names as the writers form: a type's class is its Java name, a
// version's interface the Java name of its base name, its client and
// server classes the base name with "_cln" and "_svcb".
std::string claim_java_files(const Definition &def, bool name_case_flag, bool async_methods, long long line_number,
                             const DefinitionMemory &memory, PassHandover &handover, bool idiomatic) {
  if (idiomatic) return claim_idiomatic(def, line_number, memory, handover);
  switch (def.kind) {
    case DefinitionKind::Constant: return claim_constant(def, line_number, handover);
    case DefinitionKind::Typedef:
      if (def.old_type == def.name) return {};  // writes no class
      [[fallthrough]];
    case DefinitionKind::Struct:
    case DefinitionKind::Union:
    case DefinitionKind::Enum: {
      if (std::string clash = claim_members(def, line_number, handover); !clash.empty()) return clash;
      std::string spare;
      return claim(handover, java_name(def.name, NameRole::Type, spare),
                   Owner{def.name, line_number, 0, Owner::Role::Type, def.kind});
    }
    case DefinitionKind::Program:
      for (const VersionDef &version : def.versions) {
        const std::string base = version_base_name(def, version, name_case_flag);
        const std::string interface = java_name(base, NameRole::Interface);
        const auto version_index = static_cast<std::uint32_t>(handover.versions.size());
        handover.versions.emplace_back(keep_text(handover.texts, def.name), keep_text(handover.texts, version.number));
        Owner owner{{}, line_number, version_index, Owner::Role::Interface, def.kind};
        std::string clash = claim(handover, interface, owner);
        owner.role = Owner::Role::Client;
        if (clash.empty()) clash = claim(handover, base + "_cln", owner);
        owner.role = Owner::Role::Server;
        if (clash.empty()) clash = claim(handover, base + "_svcb", owner);
        if (!clash.empty()) return clash;
        owner.role = Owner::Role::Interface;
        for (const auto *names : {&handover.constant_fields, &handover.procedure_fields}) {
          clash = clash_between(handover, *names, interface, owner);
          if (!clash.empty()) return clash;
        }
        record(handover, handover.interface_types, interface, owner);
        clash = claim_procedures(memory, def, version, version_index, interface, name_case_flag, async_methods,
                                 line_number, handover);
        if (!clash.empty()) return clash;
      }
      return {};
  }
  return {};
}

// ---- Sizes that name a constant ----

void note_named_sizes(const Definition &def, const DefinitionMemory &memory, std::string_view where,
                      PassHandover &handover) {
  auto note = [&](const Declaration &decl, std::string_view member) {
    if (decl.type == "void") return;
    const bool maximum = decl.relation == Relation::VarArray;
    if (!maximum && decl.relation != Relation::FixedArray) return;
    const std::string_view bound = decl.array_bound;
    if (bound.empty() || bound == "~0" || starts_like_number(bound) || find_value(memory, bound) != nullptr) return;
    handover.named_sizes.push_back({std::string(member), std::string(bound), std::string(where), maximum});
  };
  auto member_path = [&](const Declaration &decl) { return format_text("%s.%s", {def.name, decl.name}); };
  switch (def.kind) {
    case DefinitionKind::Struct:
      for (const Declaration &member : def.members) note(member, member_path(member));
      break;
    case DefinitionKind::Union:
      note(def.discriminant, member_path(def.discriminant));
      for (const UnionCase &arm : def.cases) note(arm.declaration, member_path(arm.declaration));
      if (def.default_arm) note(*def.default_arm, member_path(*def.default_arm));
      break;
    case DefinitionKind::Typedef: {
      Declaration alias;
      alias.type = def.old_type;
      alias.relation = def.relation;
      alias.array_bound = def.array_bound;
      note(alias, def.name);
      break;
    }
    default: break;
  }
}

std::string check_named_sizes(const DefinitionMemory &memory, PassHandover &handover) {
  std::string warnings;
  for (const PassHandover::NamedSize &size : handover.named_sizes) {
    const std::string_view what = size.maximum ? "maximum" : "size";
    const RememberedValue *named = find_record(memory.values, size.bound, UINT32_MAX);
    if (named == nullptr) {
      // A fixed size is written as the name it is, and Java finds it or
      // not; a maximum that means nothing cannot be checked at all.
      if (size.maximum)
        append_format(warnings,
                      "%s: warning: maximum %s of %s is not defined in the input: the member has no maximum\n",
                      {size.where, size.bound, size.member});
      continue;
    }
    std::string problem;
    if (named->type == ConstantType::String && !named->is_enum_member) {
      problem = "a string constant, not a number";
    } else if (named->value) {
      const NumberValue &value = *named->value;
      const bool fits = value.negative ? size.maximum && value.magnitude <= 0x80000000u : value.magnitude <= 0x7fffffffu;
      if (!fits) problem = size.maximum ? "out of range: expected -2147483648 to 2147483647"
                                        : "out of range: expected 0 to 2147483647";
    }
    if (problem.empty()) continue;
    std::fputs(warnings.c_str(), stderr);
    std::fputs(format_text("%s: %s %s of %s is %s\n", {size.where, what, size.bound, size.member, problem}).c_str(),
               stderr);
    terminate_run(1);
  }
  handover.named_sizes.clear();
  return warnings;
}
