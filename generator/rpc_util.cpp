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

// Java's keywords, "_", and the literals.
constexpr std::array<std::string_view, 54> reserved_words = {
    "abstract", "assert",       "boolean",  "break",     "byte",   "case",      "catch",    "char",
    "class",    "const",        "continue", "default",   "do",     "double",    "else",     "enum",
    "extends",  "final",        "finally",  "float",     "for",    "goto",      "if",       "implements",
    "import",   "instanceof",   "int",      "interface", "long",   "native",    "new",      "package",
    "private",  "protected",    "public",   "return",    "short",  "static",    "strictfp", "super",
    "switch",   "synchronized", "this",     "throw",     "throws", "transient", "try",      "void",
    "volatile", "while",        "_",        "true",      "false",  "null",
};

// Names Java takes for anything but a type, and the classes that the
// generated files name without their package.
constexpr std::array<std::string_view, 23> taken_type_names = {
    "var",       "yield",     "record",  "sealed",        "permits",  "String",   "InetAddress", "XDR",
    "XDT",       "XDRError",  "Svc",     "ClientGeneric", "rpc_err",  "XDTint",   "XDTshort",    "XDTboolean",
    "XDTString", "XDTdouble", "XDTLong", "XDTchar",       "XDTbytes", "XDTfloat", "XDTvoid",
};

// Methods that the client and server classes inherit (from Object, from
// the runtime's ClientGeneric and Svc, and from AutoCloseable).
constexpr std::array<std::string_view, 19> inherited_methods = {
    "getClass", "hashCode",   "equals",    "clone",   "toString",    "notify", "notifyAll",
    "wait",     "finalize",   "getClient", "close",   "proc_call",   "start",  "stop",
    "register", "unregister", "tcpPort",   "udpPort", "currentCall",
};

bool listed(const auto &list, std::string_view name) { return std::find(list.begin(), list.end(), name) != list.end(); }

}  // namespace

bool needs_trailing_underscore(std::string_view name, NameRole role) {
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
