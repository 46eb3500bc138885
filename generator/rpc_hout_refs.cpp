// SPDX-License-Identifier: Apache-2.0
// References in the Java text to names that definitions gave a meaning:
// bounds, sizes, enum values and union labels.
#include "rpc_hout_refs.h"

#include <cstdint>
#include <utility>

#include "rpc_diag.h"
#include "rpc_number.h"
#include "rpc_text.h"
#include "rpc_util.h"

// Array bounds and case values: numbers stay as written, names become
// constants of the interface. Without an interface there is nothing to
// qualify with, which the user is told about.
std::string qualify_bound(std::string_view text, std::string_view interface_name, bool report) {
  if (interface_name.empty()) {
    if (report) report_internal_error(text);
    return starts_like_number(text) ? std::string(text) : java_name(text, NameRole::Value);
  }
  if (starts_like_number(text)) return std::string(text);
  return format_text("%s.%s", {interface_name, java_name(text, NameRole::Value)});
}

// ---- Names resolved against the definitions before ----
//
// A name that an earlier definition gave a meaning is written where Java
// finds it: an enum member as a constant of its enum's class, a constant
// as a constant of the interface, or, in a file without an interface, as
// the number it comes to.

std::string enum_member_reference(std::string_view enum_name, std::string_view member) {
  return format_text("%s.%s", {java_name(enum_name, NameRole::Type), java_name(member, NameRole::EnumMember)});
}

namespace {

// True when a field of every interface has that name: a constant of the
// input, the program and version numbers, or a procedure's number.
bool names_interface_field(std::string_view name, const DefinitionMemory &memory) {
  if (name == "_def_pno" || name == "_def_vno") return true;
  if (name.size() > 6 && name.starts_with("_") && name.ends_with("_proc")) return true;
  const RememberedValue *value = find_record(memory.values, name, UINT32_MAX);
  return value != nullptr && !value->is_enum_member;
}

std::string int_number_text(const NumberValue &value) {
  const NumberValue number = int_value(value);
  return number.negative ? format_text("-%s", {std::to_string(number.magnitude)}) : std::to_string(number.magnitude);
}

}  // namespace

std::string interface_enum_reference(const RememberedValue &named, std::string_view member,
                                     const DefinitionMemory &memory) {
  const std::string class_name = java_name(named.enum_name, NameRole::Type);
  if (named.value && (names_interface_field(class_name, memory) || names_interface_field(named.enum_name, memory)))
    return int_number_text(*named.value);
  return enum_member_reference(named.enum_name, member);
}

namespace {

// What an earlier constant comes to without an interface: its number, an
// enum member, or nothing (empty).
std::string constant_without_interface(const RememberedValue &constant, bool int_literal) {
  if (!constant.number_text.empty())
    return int_literal ? java_int_literal(constant.number_text) : std::string(constant.number_text);
  if (!constant.enum_name.empty()) return enum_member_reference(constant.enum_name, constant.alias_member);
  return {};
}

// A name in a bound or an int label, after qualify_bound gave `qualified`.
std::string resolve_qualified(std::string_view name, std::string qualified, const DefinitionMemory &memory,
                              std::string_view interface_name, bool int_literal) {
  const RememberedValue *named = find_value(memory, name);
  if (named == nullptr) return qualified;
  if (named->is_enum_member) return enum_member_reference(named->enum_name, name);
  if (interface_name.empty()) {
    std::string resolved = constant_without_interface(*named, int_literal);
    if (!resolved.empty()) return resolved;
  }
  return qualified;
}

}  // namespace

std::string bound_text(std::string_view bound, const DefinitionMemory &memory, std::string_view interface_name,
                       bool report) {
  std::string qualified = qualify_bound(bound, interface_name, report);
  if (starts_like_number(bound)) return qualified;
  return resolve_qualified(bound, std::move(qualified), memory, interface_name, false);
}

std::string value_text(std::string_view value, const DefinitionMemory &memory, std::string_view interface_name) {
  if (starts_like_number(value)) return java_int_literal(value);
  const RememberedValue *named = find_value(memory, value);
  if (named == nullptr) return java_name(value, NameRole::Value);
  std::string text = named->is_enum_member ? enum_member_reference(named->enum_name, value)
                     : !interface_name.empty()
                         ? format_text("%s.%s", {interface_name, java_name(value, NameRole::Value)})
                         : std::string();
  // An enum class inherits the field value, which hides a class of that
  // name: a value it qualifies is written as the number it comes to.
  if (text.starts_with("value.") && named->value) return int_number_text(*named->value);
  if (!text.empty()) return text;
  std::string resolved = constant_without_interface(*named, true);
  return resolved.empty() ? java_name(value, NameRole::Value) : resolved;
}

// A maximum as Java text, when the input gives it a value: a number, or a
// constant or enum member the input defines (before or after the member).
// A name the input does not define (a macro of a "%" line, say) is a size
// nobody can check, and the member is coded as one without a maximum.
std::optional<std::string> size_text(std::string_view bound, const DefinitionMemory &memory,
                                     std::string_view interface_name) {
  if (starts_like_number(bound)) return java_int_literal(bound);
  const RememberedValue *named = find_record(memory.values, bound, UINT32_MAX);
  if (named == nullptr) return std::nullopt;
  if (named->is_enum_member) return enum_member_reference(named->enum_name, bound);
  if (named->type != ConstantType::Int) return std::nullopt;
  if (!interface_name.empty()) return format_text("%s.%s", {interface_name, java_name(bound, NameRole::Value)});
  std::string resolved = constant_without_interface(*named, true);
  if (resolved.empty()) return std::nullopt;
  return resolved;
}

std::string int_label(std::string_view label, const DefinitionMemory &memory, std::string_view interface_name,
                      bool report) {
  std::string qualified = qualify_bound(label, interface_name, report);
  if (starts_like_number(label)) return java_int_literal(label);
  return resolve_qualified(label, std::move(qualified), memory, interface_name, true);
}

// A 64-bit label: a constant with a known number is written as that number,
// so that an unsigned 32-bit constant is not taken as a negative int.
std::string long_label(std::string_view label, const DefinitionMemory &memory, std::string_view interface_name,
                       bool report) {
  std::string qualified = qualify_bound(label, interface_name, report);
  std::string text;
  const RememberedValue *named = starts_like_number(label) ? nullptr : find_value(memory, label);
  if (starts_like_number(label))
    text = java_long_literal(label);
  else if (named != nullptr && named->is_enum_member)
    text = enum_member_reference(named->enum_name, label);
  else if (named != nullptr && !named->number_text.empty())
    text = java_long_literal(named->number_text);
  else if (named != nullptr && !named->enum_name.empty())
    text = enum_member_reference(named->enum_name, named->alias_member);
  else
    text = std::move(qualified);
  return format_text("\"\" + %s", {text});
}

// Labels of an enum discriminant: a member of an enum as a constant of its
// class, a constant as one of the interface, any other name as a constant
// of the discriminant's enum.
std::string enum_label(std::string_view label, std::string_view enum_class, const DefinitionMemory &memory,
                       std::string_view interface_name, bool report) {
  if (starts_like_number(label)) {
    qualify_bound(label, interface_name, report);
    return java_int_literal(label);
  }
  if (const RememberedValue *named = find_value(memory, label)) {
    if (named->is_enum_member) return enum_member_reference(named->enum_name, label);
    if (!interface_name.empty()) return format_text("%s.%s", {interface_name, java_name(label, NameRole::Value)});
    std::string resolved = constant_without_interface(*named, true);
    if (!resolved.empty()) return resolved;
  }
  return format_text("%s.%s", {enum_class, java_name(label, NameRole::EnumMember)});
}
