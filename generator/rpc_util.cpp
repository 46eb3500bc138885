// SPDX-License-Identifier: Apache-2.0
// Naming helpers.
#include "rpc_util.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "rpc_text.h"

std::string lower_case(std::string_view name) {
  std::string result(name);
  for (char &c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return result;
}

// By default a name without version (or version "1") keeps its case and a
// versioned name is lower-cased; -i turns both the other way.
std::string form_name(std::string_view name, const std::string_view *version, bool name_case_flag) {
  bool plain = version == nullptr || *version == "1";
  if (plain) return name_case_flag ? std::string(name) : lower_case(name);
  std::string base = name_case_flag ? lower_case(name) : std::string(name);
  return format_text("%s_%s", {base, *version});
}

namespace {

// Java's keywords, "_", and the literals: taken in every role.
constexpr std::string_view reserved_words[] = {
    "_",          "abstract", "assert",    "boolean",   "break",  "byte",     "case",  "catch",      "char",
    "class",      "const",    "continue",  "default",   "do",     "double",   "else",  "enum",       "extends",
    "false",      "final",    "finally",   "float",     "for",    "goto",     "if",    "implements", "import",
    "instanceof", "int",      "interface", "long",      "native", "new",      "null",  "package",    "private",
    "protected",  "public",   "return",    "short",     "static", "strictfp", "super", "switch",     "synchronized",
    "this",       "throw",    "throws",    "transient", "true",   "try",      "void",  "volatile",   "while"};

// Names Java takes for anything but a type, and the classes that the
// generated files name without their package.
constexpr std::string_view taken_type_names[] = {
    "ClientGeneric", "InetAddress", "String",   "Svc",     "XDR",       "XDRError", "XDT",    "XDTLong",
    "XDTString",     "XDTboolean",  "XDTbytes", "XDTchar", "XDTdouble", "XDTfloat", "XDTint", "XDTshort",
    "XDTvoid",       "permits",     "record",   "rpc_err", "sealed",    "var",      "yield",
    // The package of kelvaro.ZELT.rpc_err, which a class of that name would
    // obscure; the parameters of xdr() and proc_call(), which would hide a
    // class named in a label there.
    "kelvaro",       "xdrs",        "proc",     "inXDR"};

// What the client and server classes name where their interface's name is
// written: the parameters and locals of the client's constructor and
// methods, and the fields every interface declares.
constexpr std::string_view taken_interface_names[] = {"host", "proto", "in_arg", "_in_arg", "_out_arg", "_def_pno",
                                                      "_def_vno"};

// Fields of a struct or union class that would hide what its xdr method
// names: the parameter xdrs, and the class XDR of XDR.XDR_ENCODE.
constexpr std::string_view taken_member_names[] = {"XDR", "xdrs"};

// Methods that the client and server classes inherit (from Object, from
// the runtime's ClientGeneric and Svc, and from AutoCloseable).
constexpr std::string_view inherited_methods[] = {
    "clone",    "close",    "currentCall", "equals",     "finalize", "getClass", "getClient",
    "hashCode", "notify",   "notifyAll",   "proc_call",  "register", "start",    "stop",
    "tcpPort",  "toString", "udpPort",     "unregister", "wait"};

// Constants of an interface that would clash with what the interface
// declares itself, or hide the package of kelvaro.ZELT.rpc_err.
// proc and inXDR are the parameters of the server's proc_call, where a
// procedure number's constant stands as a case label.
constexpr std::string_view taken_constant_names[] = {"_def_pno", "_def_vno", "kelvaro", "proc", "inXDR"};

// An enum class extends XDTint: a member named value would hide the field
// that holds the enum's value, and a union on the enum would read it.
constexpr std::string_view taken_enum_member_names[] = {"value"};

// Every listed name, with the roles it is taken in, found through a small
// table indexed by a hash of its length and its first and last bytes: a
// name costs one look at its slot and, rarely, a comparison or two.
struct ListedName {
  std::string_view name;
  unsigned roles = 0;  // a bit per NameRole
};

constexpr unsigned role_bit(NameRole role) { return 1u << static_cast<unsigned>(role); }
constexpr unsigned every_role = role_bit(NameRole::Value) | role_bit(NameRole::EnumMember) |
                                role_bit(NameRole::Type) | role_bit(NameRole::Member) | role_bit(NameRole::Method) |
                                role_bit(NameRole::Interface);

constexpr std::size_t slot_count = 512, slot_depth = 3;
constexpr std::size_t slot_of(std::string_view name) {
  return (name.size() * 131 + static_cast<unsigned char>(name.front()) * 31 + static_cast<unsigned char>(name.back())) %
         slot_count;
}

// Each slot holds up to slot_depth names; lists that would need more fail
// to compile. A name in several lists is one entry with all its roles.
using NameSlots = std::array<std::array<ListedName, slot_depth>, slot_count>;
constexpr NameSlots name_slots = [] {
  NameSlots slots{};
  auto add = [&](const auto &list, unsigned roles) {
    for (std::string_view name : list) {
      auto &slot = slots[slot_of(name)];
      std::size_t d = 0;
      while (d < slot_depth && !slot[d].name.empty() && slot[d].name != name) d++;
      if (d == slot_depth) throw "too many listed names share a slot";
      slot[d].name = name;
      slot[d].roles |= roles;
    }
  };
  add(reserved_words, every_role);
  add(taken_type_names, role_bit(NameRole::Type) | role_bit(NameRole::Interface));
  add(taken_interface_names, role_bit(NameRole::Interface));
  add(taken_member_names, role_bit(NameRole::Member));
  add(inherited_methods, role_bit(NameRole::Method));
  add(taken_constant_names, role_bit(NameRole::Value));
  add(taken_enum_member_names, role_bit(NameRole::EnumMember));
  return slots;
}();

using LengthBits = std::array<std::uint16_t, 256>;
constexpr LengthBits lengths_by_last_byte = [] {
  LengthBits bits{};
  for (const auto &slot : name_slots) {
    for (const ListedName &listed : slot) {
      if (listed.name.empty()) continue;
      if (listed.name.size() > naming_detail::longest_listed) throw "a listed name is too long for the quick test";
      bits[static_cast<unsigned char>(listed.name.back())] |= static_cast<std::uint16_t>(1u << listed.name.size());
    }
  }
  return bits;
}();

}  // namespace

const std::array<std::uint16_t, 256> naming_detail::listed_lengths_by_last_byte = lengths_by_last_byte;

bool needs_trailing_underscore(std::string_view name, NameRole role) {
  if (name.empty()) return false;
  // The server names the result of each procedure _out_arg followed by its
  // number as written: a constant named so could be one of those locals.
  if (role == NameRole::Value && name.starts_with("_out_arg")) return true;
  for (const ListedName &listed : name_slots[slot_of(name)]) {
    if (listed.name.empty()) return false;
    if (listed.name == name) return (listed.roles & role_bit(role)) != 0;
  }
  return false;
}

std::string_view naming_detail::java_name_of_listed(std::string_view name, NameRole role, std::string &spare) {
  if (!needs_trailing_underscore(name, role)) return name;
  spare.assign(name);
  spare.push_back('_');
  return spare;
}

std::string java_name(std::string_view name, NameRole role) {
  std::string spare;
  return std::string(java_name(name, role, spare));
}

bool is_java_reserved_word(std::string_view name) {
  for (std::string_view word : reserved_words) {
    if (word == name) return true;
  }
  return false;
}

bool is_java_package_name(std::string_view name) {
  auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; };
  for (;;) {
    const std::size_t dot = name.find('.');
    const std::string_view part = name.substr(0, dot);
    if (part.empty() || !is_letter(part[0]) || is_java_reserved_word(part)) return false;
    for (char c : part) {
      if (!is_letter(c) && !(c >= '0' && c <= '9')) return false;
    }
    if (dot == std::string_view::npos) return true;
    name.remove_prefix(dot + 1);
  }
}
