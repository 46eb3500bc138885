// SPDX-License-Identifier: Apache-2.0
// The dispatcher, above both kinds of Java writer.
#include "rpc_dispatch.h"

#include "rpc_hout_program.h"

void dispatch_definition(Definition &def, PassMode mode, bool name_case_flag, const DefinitionMemory &memory,
                         JavaOutput &out, PassHandover &handover) {
  const bool type_pass = mode == PassMode::TypeClasses || mode == PassMode::All;
  const std::string_view interface_name = handover.interface_name;
  switch (def.kind) {
    case DefinitionKind::Constant:
      if (mode == PassMode::Constants) append_constant_line(handover.constants_text, def, memory);
      break;
    case DefinitionKind::Struct:
      if (type_pass) emit_struct_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Union:
      if (type_pass) emit_union_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Enum:
      if (type_pass) emit_enum_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Typedef:
      if (type_pass) emit_typedef_class(out, def, memory, interface_name);
      break;
    case DefinitionKind::Program:
      if (mode == PassMode::Client || mode == PassMode::All) emit_client_files(out, def, name_case_flag);
      if (mode == PassMode::Server || mode == PassMode::All) emit_server_files(out, def, memory, name_case_flag);
      if (mode == PassMode::Interface || mode == PassMode::All)
        handover.interface_name = emit_interface_files(out, def, handover.constants_text, memory, name_case_flag);
      break;
  }
}
