// SPDX-License-Identifier: Apache-2.0
// Names of the idiomatic Java output: the Java style of the names of the
// input (types in UpperCamelCase, members and methods in lowerCamelCase,
// constants as written) and the names formed from them.
#pragma once

#include <string>
#include <string_view>

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

// The class of constants of a program version, also the stem of its
// client and service: the version's name as a type (KVSTORE_V1 ->
// KvstoreV1), or, when that is no name (a version named by a number), the
// program's name, "V" and the version's number.
std::string version_class_name(const Definition &program, const VersionDef &version);
std::string client_class_name(std::string_view version_class);
std::string service_class_name(std::string_view version_class);
// The method of a procedure that returns a future.
std::string async_method_name(std::string_view method);

// Javadoc text of a name of the input as code: {@code NAME}.
std::string code_text(std::string_view name);
