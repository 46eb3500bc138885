// SPDX-License-Identifier: Apache-2.0
// The dispatcher: hands each Definition to the writer that the pass calls
// for, and carries what a pass leaves for the later ones.
#pragma once

#include <string>

#include "rpc_hout.h"
#include "rpc_parse.h"

// Which output a pass produces.
enum class PassMode { Client = 0, TypeClasses = 1, Server = 2, All = 3, Constants = 4, Interface = 5 };

// What a pass hands to the later ones; the driver keeps it for the run.
struct PassHandover {
  std::string constants_text;  // filled in the Constants pass, never emptied
  std::string interface_name;  // base name of the last interface written
};

// Routes one Definition by pass mode and kind. memory holds the
// definitions before it (the parser's); name_case_flag is the driver's
// naming option.
void dispatch_definition(Definition &def, PassMode mode, bool name_case_flag, const DefinitionMemory &memory,
                         JavaOutput &out, PassHandover &handover);
