// SPDX-License-Identifier: Apache-2.0
// The dispatcher: hands each Definition to the writer that the pass calls
// for, and carries what a pass leaves for the later ones.
#pragma once

#include <string>
#include <unordered_map>

#include "rpc_hout.h"
#include "rpc_parse.h"

// Which output a pass produces.
enum class PassMode { Client = 0, TypeClasses = 1, Server = 2, All = 3, Constants = 4, Interface = 5 };

// What a pass hands to the later ones; the driver keeps it for the run.
struct PassHandover {
  std::string constants_text;  // filled in the Constants pass, never emptied
  std::string interface_name;  // base name of the last interface written
  // Every Java file the input's definitions write, with what writes it;
  // filled in the Constants pass, which writes no file.
  std::unordered_map<std::string, std::string> file_writers;
  // The Java names in every interface, with what they stand for: the
  // constants (in every interface), the procedure-number constants, and
  // the interfaces themselves, which a field of that name would hide.
  std::unordered_map<std::string, std::string> constant_fields;
  std::unordered_map<std::string, std::string> procedure_fields;
  std::unordered_map<std::string, std::string> interface_types;
};

// Claims the Java files that the Definition writes, in any pass, and the
// names it puts into the interfaces. Returns an error message when one of
// them is claimed already: two definitions would write the same file, and
// one would be lost, or two names would end as one Java name in one place.
// Empty: no clash.
// line_number is where the Definition ends, to name it by.
std::string claim_java_files(const Definition &def, bool name_case_flag, long long line_number,
                             const DefinitionMemory &memory, PassHandover &handover);

// Routes one Definition by pass mode and kind. memory holds the
// definitions before it (the parser's); name_case_flag is the driver's
// naming option.
void dispatch_definition(Definition &def, PassMode mode, bool name_case_flag, const DefinitionMemory &memory,
                         JavaOutput &out, PassHandover &handover);
