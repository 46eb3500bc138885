// Naming helpers.
#include "rpc_util.h"

#include <algorithm>
#include <array>

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

// Each list is sorted, for a binary search.

// Java's keywords, "_", and the literals.
constexpr std::array<std::string_view, 54> reserved_words = {
    "_",          "abstract", "assert",    "boolean",   "break",  "byte",     "case",  "catch",      "char",
    "class",      "const",    "continue",  "default",   "do",     "double",   "else",  "enum",       "extends",
    "false",      "final",    "finally",   "float",     "for",    "goto",     "if",    "implements", "import",
    "instanceof", "int",      "interface", "long",      "native", "new",      "null",  "package",    "private",
    "protected",  "public",   "return",    "short",     "static", "strictfp", "super", "switch",     "synchronized",
    "this",       "throw",    "throws",    "transient", "true",   "try",      "void",  "volatile",   "while"};
static_assert(std::is_sorted(reserved_words.begin(), reserved_words.end()));

// Names Java takes for anything but a type, and the classes that the
// generated files name without their package.
constexpr std::array<std::string_view, 23> taken_type_names = {
    "ClientGeneric", "InetAddress", "String",   "Svc",     "XDR",       "XDRError", "XDT",    "XDTLong",
    "XDTString",     "XDTboolean",  "XDTbytes", "XDTchar", "XDTdouble", "XDTfloat", "XDTint", "XDTshort",
    "XDTvoid",       "permits",     "record",   "rpc_err", "sealed",    "var",      "yield"};
static_assert(std::is_sorted(taken_type_names.begin(), taken_type_names.end()));

// Methods that the client and server classes inherit (from Object, from
// the runtime's ClientGeneric and Svc, and from AutoCloseable).
constexpr std::array<std::string_view, 19> inherited_methods = {
    "clone",    "close",    "currentCall", "equals",     "finalize", "getClass", "getClient",
    "hashCode", "notify",   "notifyAll",   "proc_call",  "register", "start",    "stop",
    "tcpPort",  "toString", "udpPort",     "unregister", "wait"};
static_assert(std::is_sorted(inherited_methods.begin(), inherited_methods.end()));

bool listed(const auto &list, std::string_view name) { return std::binary_search(list.begin(), list.end(), name); }

// Every listed name has 1 to 13 characters and does not end in a digit:
// other names, which are most of the generated ones, need no search.
constexpr bool could_be_listed(std::string_view name) {
  return !name.empty() && name.size() <= 13 && !(name.back() >= '0' && name.back() <= '9');
}

constexpr bool all_could_be_listed(const auto &list) {
  for (std::string_view name : list) {
    if (!could_be_listed(name)) return false;
  }
  return true;
}
static_assert(all_could_be_listed(reserved_words) && all_could_be_listed(taken_type_names) &&
              all_could_be_listed(inherited_methods));

}  // namespace

bool needs_trailing_underscore(std::string_view name, NameRole role) {
  if (!could_be_listed(name)) return false;
  if (listed(reserved_words, name)) return true;
  switch (role) {
    case NameRole::Value: return false;
    case NameRole::Type: return listed(taken_type_names, name);
    case NameRole::Member: return name == "xdrs";
    case NameRole::Method: return listed(inherited_methods, name);
  }
  return false;
}

std::string java_name(std::string_view name, NameRole role) {
  std::string result(name);
  if (needs_trailing_underscore(name, role)) result.push_back('_');
  return result;
}
