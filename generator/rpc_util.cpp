// Naming helpers.
#include "rpc_util.h"

#include "rpc_text.h"

std::string lower_case(std::string_view name) {
  std::string result(name);
  for (char &c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return result;
}

// By default a name without version (or version "1") keeps its case and a
// versioned name is lower-cased; -i turns both the other way.
std::string form_name(std::string_view name, const std::string_view *version, bool name_case_flag) {
  bool plain = version == nullptr || *version == "1";
  if (plain) return name_case_flag ? std::string(name) : lower_case(name);
  std::string base = name_case_flag ? lower_case(name) : std::string(name);
  return format_text("%s_%s", {base, *version});
}
