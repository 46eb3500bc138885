// SPDX-License-Identifier: Apache-2.0
// The data-type writers of the idiomatic output: a record per struct, a
// Java enum per enum, a sealed interface with a record per arm per union.
// A typedef writes nothing: its uses hold the type it names. Sizes that
// name constants without a known value are qualified with interface_name;
// memory holds the definitions before the one being written.
#pragma once

#include <string_view>

#include "rpc_hout.h"
#include "rpc_parse.h"

void emit_value_record(JavaOutput &out, const Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name);
void emit_java_enum(JavaOutput &out, const Definition &def, const DefinitionMemory &memory,
                    std::string_view interface_name);
void emit_sealed_union(JavaOutput &out, const Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name);

// The number an enum member comes to, as Java int text: a number when the
// input gives it one, else an expression of the constants it names.
std::string enum_number_text(const Definition &def, std::size_t member, const DefinitionMemory &memory,
                             std::string_view interface_name);
