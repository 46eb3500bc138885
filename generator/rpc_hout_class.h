// SPDX-License-Identifier: Apache-2.0
// The data-type class writers: the member emitters, and one class file per
// struct, union, enum and typedef. Bounds, labels and values that name
// constants are qualified with interface_name; memory holds the
// definitions before the one being written.
#pragma once

#include <string_view>

#include "rpc_hout.h"
#include "rpc_parse.h"

// Member emitters: one line each for one Declaration. A "string" member is
// turned into a Plain one in place. A member of a declared size passes the
// size (and its own name, for the runtime's error) to the runtime, which
// holds the value to it.
void emit_field_declaration(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                            std::string_view interface_name);
void emit_encode_statement(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                           std::string_view interface_name);
void emit_decode_statement(JavaOutput &out, Declaration &decl, int depth, const DefinitionMemory &memory,
                           std::string_view interface_name);

void emit_struct_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name);
void emit_union_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                      std::string_view interface_name);
void emit_enum_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory, std::string_view interface_name);
void emit_typedef_class(JavaOutput &out, Definition &def, const DefinitionMemory &memory,
                        std::string_view interface_name);
