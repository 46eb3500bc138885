// SPDX-License-Identifier: Apache-2.0
// The dispatcher: hands each Definition to the writer that the pass calls
// for, and carries what a pass leaves for the later ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rpc_hout.h"
#include "rpc_jout_names.h"
#include "rpc_parse.h"

// Which output a pass produces.
enum class PassMode { Client = 0, TypeClasses = 1, Server = 2, All = 3, Constants = 4, Interface = 5 };

// What a pass hands to the later ones; the driver keeps it for the run.
struct PassHandover {
  std::string constants_text;  // filled in the Constants pass, never emptied
  std::string interface_name;  // base name of the last interface written
  // What claimed a Java file or name: a compact record, from which the
  // text that names it is made only when a clash is reported.
  struct Owner {
    enum class Role : std::uint8_t { Type, Interface, Client, Server, Constant, Procedure };
    std::string_view name;  // the type, constant or procedure
    long long line = 0;
    std::uint32_t version = 0;  // program roles: the index in versions
    Role role = Role::Type;
    DefinitionKind kind = DefinitionKind::Struct;
  };
  // The program's name and the version's number of each version claimed.
  std::vector<std::pair<std::string_view, std::string_view>> versions;
  TextPool texts;  // every text the tables view
  // Every Java file the input's definitions write (by its base name), with
  // what writes it; filled in the Constants pass, which writes no file.
  NameTable<Owner> file_writers;
  // The Java names in every interface, with what they stand for: the
  // constants (in every interface), the procedure-number constants, and
  // the interfaces themselves, which a field of that name would hide.
  NameTable<Owner> constant_fields;
  NameTable<Owner> procedure_fields;
  NameTable<Owner> interface_types;
  // Sizes and maximums that name something the input had not defined
  // where they stood, to be looked up once the whole input is known.
  struct NamedSize {
    std::string member;  // the type, or the type and member: "s.name"
    std::string bound;
    std::string where;  // "file, line N", for the message
    bool maximum = false;
  };
  std::vector<NamedSize> named_sizes;
  // The idiomatic output's classes that take another name than their
  // style gives, found in the Constants pass.
  JavaClassNames java_classes;
  // Room reused for the Java names of one definition's members.
  std::string member_names;
  std::vector<std::pair<std::size_t, std::size_t>> member_spans;  // place and size in member_names
  std::vector<std::string_view> member_originals;                 // the names as written, for one call
};

// Claims the Java files that the Definition writes, in any pass, and the
// names it puts into the interfaces. Returns an error message when one of
// them is claimed already: two definitions would write the same file, and
// one would be lost, or two names would end as one Java name in one place.
// Empty: no clash. async_methods: the client classes get a NAMEAsync twin
// of every procedure's method (--async).
// line_number is where the Definition ends, to name it by.
// With idiomatic, the names are those of the idiomatic output (whose
// clients always have the NAMEAsync twins).
std::string claim_java_files(const Definition &def, bool name_case_flag, bool async_methods, long long line_number,
                             const DefinitionMemory &memory, PassHandover &handover, bool idiomatic = false);

// Notes the sizes and maximums of the Definition's members that name
// nothing the input defined before it; where names the Definition's place.
void note_named_sizes(const Definition &def, const DefinitionMemory &memory, std::string_view where,
                      PassHandover &handover);
// Looks the noted sizes up once the whole input is known: a maximum that
// the input never defines is coded as none, with a warning (returned, one
// line each); a size that names a string constant, or a value out of
// range, is an input error (ends the run with status 1).
std::string check_named_sizes(const DefinitionMemory &memory, PassHandover &handover);

// Routes one Definition by pass mode and kind. memory holds the
// definitions before it (the parser's); name_case_flag is the driver's
// naming option; idiomatic chooses the idiomatic writers (rpc_jout_*)
// instead of the default ones (rpc_hout_*).
void dispatch_definition(Definition &def, PassMode mode, bool name_case_flag, const DefinitionMemory &memory,
                         JavaOutput &out, PassHandover &handover, bool idiomatic = false);
