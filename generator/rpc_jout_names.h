// SPDX-License-Identifier: Apache-2.0
// Names of the idiomatic Java output: the Java style of the names of the
// input (types in UpperCamelCase, members and methods in lowerCamelCase,
// constants as written) and the names formed from them.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "rpc_parse.h"

// What a name stands for in the idiomatic Java text; each role has its own
// style and its own names that Java or the generated code will not take.
enum class StyleRole {
  Type = 0,          // a class, record, enum or interface, and its file
  Member = 1,        // a record component, union case field, builder setter
  Method = 2,        // a procedure's method in the client and service
  Constant = 3,      // a constant of the input in a version's class, as written
  EnumConstant = 4,  // a member of an enum, as written
};

// The Java name of an input name in that role:
// - Type: each part between "_" starts with a capital; a part written all
//   in capitals (and digits) goes on in small letters, any other part
//   keeps its letters as written: kvstatus -> Kvstatus, put_args ->
//   PutArgs, KVSTORE_V1 -> KvstoreV1, READ3resok -> READ3resok.
// - Member and Method: the same, with a small first letter: KV_PUT ->
//   kvPut, next_entry -> nextEntry, fileid -> fileid.
// - Constant and EnumConstant: as written.
// Underscores that begin or end a name stay as written (_in_arg -> _inArg,
// x_ -> x_); a type with no letter before its first digit gets a "T"
// before it (_1 -> T_1). A name Java
// or the generated code will not take in its role gets a trailing "_".
std::string style_name(std::string_view name, StyleRole role);

// The Java names of the names of one scope (the members of one struct or
// union, the procedures of one version), in their order: each name's
// Java style, except that names whose style another name of the scope
// shares keep their spelling as written (with the "_" Java may need), so
// that names the input tells apart stay apart: item and ITEM -> item and
// ITEM, where ITEM alone would be item. An empty name gives an empty one.
std::vector<std::string> scope_style_names(const std::vector<std::string_view> &names, StyleRole role);

// The names of a definition's members as they come in it: a struct's
// members, a union's discriminant and arms (the default arm last), an
// enum's members. Void arms give empty names.
std::vector<std::string_view> member_names_of(const Definition &def);

// The Java names of one struct's or union's members (discriminant and
// arms included), each looked up by its name in the input. A member that
// keeps its spelling may look like a class: one spelled like a class the
// definition's Java text names (classes) gets "_" until it is not, nor any
// other member's name, since a field hides a class of its name there.
class MemberNames {
 public:
  MemberNames(const Definition &def, const std::vector<std::string> &classes);
  // The Java name of a member of the definition; the plain style for a
  // name that is not one of its members.
  std::string of(std::string_view name) const;

 private:
  std::unordered_map<std::string_view, std::string> java_;
};

// The class of constants of a program version, also the stem of its
// client and service: the version's name as a type (KVSTORE_V1 ->
// KvstoreV1), or, when that is no name (a version named by a number), the
// program's name, "V" and the version's number.
std::string version_class_name(const Definition &program, const VersionDef &version);

// The classes that take another name than their style gives: a type, or a
// version's classes, whose class an earlier definition of the input has
// already (struct data after enum DATA: Data_). Found once, in the first
// pass, which writes nothing; the writers look them up.
struct JavaClassNames {
  std::unordered_map<std::string, std::string> types;     // by the type's name
  std::unordered_map<std::string, std::string> versions;  // by version_key
  std::unordered_set<std::string> version_keys;           // of every version claimed
};
std::string version_key(const Definition &program, const VersionDef &version);

// The class of a struct, union or enum of the input, as JavaClassNames
// has it when it has it.
std::string type_class_name(std::string_view type, const DefinitionMemory &memory);
// The class of constants of a version, as JavaClassNames has it when it
// has it.
std::string version_class_name(const Definition &program, const VersionDef &version, const DefinitionMemory &memory);
std::string client_class_name(std::string_view version_class);
std::string service_class_name(std::string_view version_class);
// The method of a procedure that returns a future.
std::string async_method_name(std::string_view method);

// Javadoc text of a name of the input as code: {@code NAME}.
std::string code_text(std::string_view name);
