// SPDX-License-Identifier: Apache-2.0
// How the Java text refers to names that definitions gave a meaning: array
// bounds and sizes, enum values, and the labels of a union's switch. memory
// holds the definitions before the one being written; interface_name is the
// interface that constants are qualified with (empty: no interface was
// written).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "rpc_parse.h"

// A bound or case label as Java text: numbers stay, names become constants
// of the interface. report false: no message when there is no interface
// (the caller has reported that text already).
std::string qualify_bound(std::string_view text, std::string_view interface_name, bool report = true);
// An enum member as a constant of its enum's class.
std::string enum_member_reference(std::string_view enum_name, std::string_view member);
// The same where the fields of an interface are in scope (the interface,
// and the client and server classes that implement it): when one of them
// has the enum class's name, which it would hide, the member is written as
// the number it comes to.
std::string interface_enum_reference(const RememberedValue &named, std::string_view member,
                                     const DefinitionMemory &memory);
// An array bound (through qualify_bound).
std::string bound_text(std::string_view bound, const DefinitionMemory &memory, std::string_view interface_name,
                       bool report = true);
// A maximum the input gives a value (a number, or a constant or enum member
// it defines anywhere), as Java text; none for a name it does not define.
std::optional<std::string> size_text(std::string_view bound, const DefinitionMemory &memory,
                                     std::string_view interface_name);
// A value where Java expects an int that nothing qualifies: an enum value.
std::string value_text(std::string_view value, const DefinitionMemory &memory, std::string_view interface_name);

// A union label as Java text: on an int-like discriminant; on a 64-bit one
// (its decimal text, as the switch selects on); on an enum's, a constant of
// enum_class unless the label names another constant.
std::string int_label(std::string_view label, const DefinitionMemory &memory, std::string_view interface_name,
                      bool report);
std::string long_label(std::string_view label, const DefinitionMemory &memory, std::string_view interface_name,
                       bool report);
std::string enum_label(std::string_view label, std::string_view enum_class, const DefinitionMemory &memory,
                       std::string_view interface_name, bool report);
