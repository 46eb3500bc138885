// SPDX-License-Identifier: Apache-2.0
// Java-style names of the idiomatic output.
#include "rpc_jout_names.h"

#include <algorithm>
#include <initializer_list>

#include "rpc_text.h"
#include "rpc_util.h"

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char to_upper(char c) { return is_lower(c) ? static_cast<char>(c - 32) : c; }
char to_lower(char c) { return is_upper(c) ? static_cast<char>(c + 32) : c; }

std::string camel_parts(std::string_view name, bool small_first);

// The parts of a name between "_", each starting with a capital (or, for
// the first part of a member or method, a small letter). A part written in
// capitals goes on in small letters (KV_PUT -> kvPut), one in mixed case
// keeps its inner letters (getAttr).
std::string camel_case(std::string_view name, bool small_first) {
  // Underscores that begin or end the name stay, so that x, _x and x_
  // stay apart.
  const std::size_t lead = std::min(name.find_first_not_of('_'), name.size());
  const std::size_t last = name.find_last_not_of('_');
  const std::size_t trail = last == std::string_view::npos ? 0 : name.size() - last - 1;
  if (lead == name.size()) return std::string(name);
  std::string result(lead, '_');
  result += camel_parts(name.substr(lead, name.size() - lead - trail), small_first);
  result.append(trail, '_');
  return result;
}

std::string camel_parts(std::string_view name, bool small_first) {
  std::string result;
  bool first_part = true;
  std::size_t from = 0;
  while (from <= name.size()) {
    std::size_t end = name.find('_', from);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(from, end - from);
    from = end + 1;
    if (part.empty()) continue;
    const bool shouting = std::none_of(part.begin(), part.end(), is_lower);
    for (std::size_t i = 0; i < part.size(); i++) {
      char c = part[i];
      if (i == 0)
        c = small_first && first_part ? to_lower(c) : to_upper(c);
      else if (shouting)
        c = to_lower(c);
      result.push_back(c);
    }
    first_part = false;
  }
  return result;
}

// Names each role keeps for the generated code, besides Java's reserved
// words. Members: what a record may not call a component, the builder's
// and the record's own methods, and the packages the text names in full.
constexpr std::string_view member_words[] = {
    "clone",  "finalize", "getClass", "hashCode", "notify",    "notifyAll", "toString", "wait",   "builder",
    "build",  "toBuilder", "java",    "kelvaro",  "var",       "yield",     "record",   "sealed", "permits"};
// Methods: those a client inherits (Object's, the runtime's RpcStub's)
// and the service's adapter.
constexpr std::string_view method_words[] = {"clone",      "finalize",    "getClass", "hashCode", "notify",
                                             "notifyAll",  "toString",    "wait",     "equals",   "close",
                                             "rpcClient",  "withTimeout", "timeout",  "invoke",   "invokeAsync", "withTimeoutCopy",
                                             "asSvc",     "yield",       "record",   "var",      "sealed",
                                             "permits"};
// Constants and enum constants: the packages the text names in full, and
// the fields an enum or version class of the output declares itself.
// A version's class declares PROGRAM and VERSION beside them.
constexpr std::string_view constant_words[] = {"java", "kelvaro", "PROGRAM", "VERSION"};
constexpr std::string_view enum_constant_words[] = {"java", "kelvaro", "number", "VALUES"};
// Types: the builder every record holds.
constexpr std::string_view type_words[] = {"Builder"};

template <std::size_t N>
bool listed(std::string_view name, const std::string_view (&words)[N]) {
  return std::find(std::begin(words), std::end(words), name) != std::end(words);
}

bool is_taken(std::string_view name, StyleRole role) {
  if (is_java_reserved_word(name)) return true;
  switch (role) {
    case StyleRole::Type: return listed(name, type_words);
    case StyleRole::Member: return listed(name, member_words);
    case StyleRole::Method: return listed(name, method_words);
    case StyleRole::Constant: return listed(name, constant_words);
    case StyleRole::EnumConstant: return listed(name, enum_constant_words);
  }
  return false;
}

}  // namespace

std::string style_name(std::string_view name, StyleRole role) {
  std::string java;
  switch (role) {
    case StyleRole::Type: java = camel_case(name, false); break;
    case StyleRole::Member:
    case StyleRole::Method: java = camel_case(name, true); break;
    case StyleRole::Constant:
    case StyleRole::EnumConstant: java = std::string(name); break;
  }
  // A type whose name has no letter before its first digit ("_", "_1x")
  // gets a "T" before it, so that it never meets a member of the same
  // spelling, which would hide it.
  const std::size_t first = java.find_first_not_of('_');
  if (role == StyleRole::Type && (first == std::string::npos || is_digit(java[first]))) java = format_text("T%s", {java});
  if (is_taken(java, role)) java.push_back('_');
  return java;
}

std::vector<std::string> scope_style_names(const std::vector<std::string_view> &names, StyleRole role) {
  std::vector<std::string> java;
  java.reserve(names.size());
  std::unordered_map<std::string_view, std::size_t> seen;  // a Java name, and how many reach it
  seen.reserve(names.size());
  for (std::string_view name : names) {
    java.push_back(name.empty() ? std::string() : style_name(name, role));
    if (!name.empty()) seen[java.back()]++;
  }
  // A name kept as written seldom meets another name's style: a style is
  // nearly always its own style again, so a name spelled like another's
  // style shares that style and is kept as written too. Where two names
  // still meet (a "_" that Java needs, a part in capitals after a digit),
  // the caller finds them.
  std::vector<bool> shared(names.size());
  for (std::size_t i = 0; i < names.size(); i++) shared[i] = !names[i].empty() && seen.find(java[i])->second > 1;
  // The map views the names it counted: they change only now.
  for (std::size_t i = 0; i < names.size(); i++) {
    if (!shared[i]) continue;
    java[i] = std::string(names[i]);
    if (is_taken(java[i], role)) java[i].push_back('_');
  }
  return java;
}

std::vector<std::string_view> member_names_of(const Definition &def) {
  std::vector<std::string_view> names;
  switch (def.kind) {
    case DefinitionKind::Struct:
      for (const Declaration &member : def.members) names.push_back(member.name);
      break;
    case DefinitionKind::Union:
      names.push_back(def.discriminant.name);
      for (const UnionCase &arm : def.cases) names.push_back(arm.declaration.name);
      if (def.default_arm) names.push_back(def.default_arm->name);
      break;
    case DefinitionKind::Enum:
      for (const EnumMember &member : def.enum_members) names.push_back(member.name);
      break;
    default: break;
  }
  return names;
}

MemberNames::MemberNames(const Definition &def, const std::vector<std::string> &classes) {
  const std::vector<std::string_view> names = member_names_of(def);
  std::vector<std::string> java = scope_style_names(names, StyleRole::Member);
  std::unordered_map<std::string, std::size_t> count;  // of each Java name among the members
  for (const std::string &name : java) count[name]++;
  for (std::size_t i = 0; i < names.size(); i++) {
    // A style starts with a small letter, as no class does; only a name
    // kept as written can meet one.
    if (names[i].empty() || java[i] == style_name(names[i], StyleRole::Member)) continue;
    if (std::find(classes.begin(), classes.end(), java[i]) == classes.end()) continue;
    count[java[i]]--;
    while (std::find(classes.begin(), classes.end(), java[i]) != classes.end() || count[java[i]] > 0)
      java[i].push_back('_');
    count[java[i]]++;
  }
  java_.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); i++)
    if (!names[i].empty()) java_.try_emplace(names[i], std::move(java[i]));
}

std::string MemberNames::of(std::string_view name) const {
  const auto at = java_.find(name);
  return at != java_.end() ? at->second : style_name(name, StyleRole::Member);
}

std::string version_class_name(const Definition &program, const VersionDef &version) {
  const std::string_view name = version.name;
  if (!name.empty() && !is_digit(name[0]) && name[0] != '-') {
    std::string java = camel_case(name, false);
    if (!java.empty() && !is_digit(java[0])) return style_name(name, StyleRole::Type);
  }
  std::string number;
  for (char c : version.number) number.push_back(is_digit(c) || is_lower(c) || is_upper(c) ? c : '_');
  return format_text("%sV%s", {style_name(program.name, StyleRole::Type), number});
}

std::string version_key(const Definition &program, const VersionDef &version) {
  return format_text("%s %s", {program.name, version.number});
}

std::string type_class_name(std::string_view type, const DefinitionMemory &memory) {
  if (memory.java_classes != nullptr) {
    const auto at = memory.java_classes->types.find(std::string(type));
    if (at != memory.java_classes->types.end()) return at->second;
  }
  return style_name(type, StyleRole::Type);
}

std::string version_class_name(const Definition &program, const VersionDef &version, const DefinitionMemory &memory) {
  if (memory.java_classes != nullptr) {
    const auto at = memory.java_classes->versions.find(version_key(program, version));
    if (at != memory.java_classes->versions.end()) return at->second;
  }
  return version_class_name(program, version);
}

std::string client_class_name(std::string_view version_class) { return format_text("%sClient", {version_class}); }
std::string service_class_name(std::string_view version_class) { return format_text("%sService", {version_class}); }
std::string async_method_name(std::string_view method) {
  // A method that got a "_" keeps it before the suffix: class_ -> class_Async.
  return format_text("%sAsync", {method});
}

std::string code_text(std::string_view name) { return format_text("{@code %s}", {name}); }
