// SPDX-License-Identifier: Apache-2.0
// Naming helpers for Java class, method and constant names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

std::string lower_case(std::string_view name);
// The Java name of a program, version or procedure. name_case_flag is the
// driver's: true keeps the usual case, false (option -i) turns it around.
std::string form_name(std::string_view name, const std::string_view *version, bool name_case_flag);

// What a name of the input stands for in the Java text: each role has its
// own names that Java will not take there.
enum class NameRole {
  Value = 0,       // a constant (or a name used as one)
  Type = 1,        // a class, interface or file name
  Member = 2,      // a field of a struct or union class
  Method = 3,      // a procedure's method in the interface, client and server
  EnumMember = 4,  // a member of an enum class
  Interface = 5,   // a version's interface: a type that the client and
                   // server classes name where parameters, locals and
                   // the interface's own fields are in scope
};

// True when the name cannot stand as a Java identifier in that role: a
// reserved word; for a type also a restricted type identifier and the
// classes the generated code names without a package; for a member the
// parameter of xdr() and the class XDR; for a method one that the
// generated classes inherit; for a constant one the interface declares
// itself or the package name kelvaro; for an enum member "value".
bool needs_trailing_underscore(std::string_view name, NameRole role);
// The name as the Java text writes it: with a trailing "_" where Java
// would not take it as it is. Nearly every name stays as it is, and is
// returned without a copy; a name that gets the "_" is made in spare, which
// must outlive the result.
inline std::string_view java_name(std::string_view name, NameRole role, std::string &spare);
// The same as a string of its own.
std::string java_name(std::string_view name, NameRole role);

// True for Java's keywords, "_", and the literals true, false and null.
bool is_java_reserved_word(std::string_view name);
// True when name is a Java package name: identifiers of ASCII letters,
// digits, "_" and "$", none a reserved word, joined by single dots.
bool is_java_package_name(std::string_view name);

// ---- implementation of java_name's quick test, kept inline: it runs for
// every name written

namespace naming_detail {

// For each last byte, a bit for each length (up to 15) of a listed name
// that ends with it. Names of the input often end in a digit, which no
// listed name does, or have a length no listed name with their last byte
// has: those need no further look.
inline constexpr std::size_t longest_listed = 15;
extern const std::array<std::uint16_t, 256> listed_lengths_by_last_byte;

// java_name for a name that may be listed.
std::string_view java_name_of_listed(std::string_view name, NameRole role, std::string &spare);

}  // namespace naming_detail

inline std::string_view java_name(std::string_view name, NameRole role, std::string &spare) {
  if ((name.empty() || name.size() > naming_detail::longest_listed ||
       (naming_detail::listed_lengths_by_last_byte[static_cast<unsigned char>(name.back())] >> name.size() & 1) ==
           0) &&
      !(role == NameRole::Value && name.starts_with("_out_arg")))
    return name;
  return naming_detail::java_name_of_listed(name, role, spare);
}
