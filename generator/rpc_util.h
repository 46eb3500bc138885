// Naming helpers for Java class, method and constant names.
#pragma once

#include <string>
#include <string_view>

std::string lower_case(std::string_view name);
// The Java name of a program, version or procedure. name_case_flag is the
// driver's: true keeps the usual case, false (option -i) turns it around.
std::string form_name(std::string_view name, const std::string_view *version, bool name_case_flag);

// What a name of the input stands for in the Java text: each role has its
// own names that Java will not take there.
enum class NameRole {
  Value = 0,   // a constant or an enum member
  Type = 1,    // a class, interface or file name
  Member = 2,  // a field of a struct or union class
  Method = 3,  // a procedure's method in the interface, client and server
};

// True when the name cannot stand as a Java identifier in that role: a
// reserved word; for a type also a restricted type identifier and the
// classes the generated code names without a package; for a member the
// parameter of xdr(); for a method one that the generated classes inherit.
bool needs_trailing_underscore(std::string_view name, NameRole role);
// The name as the Java text writes it: with a trailing "_" where Java
// would not take it as it is.
std::string java_name(std::string_view name, NameRole role);
