// Naming helpers for Java class, method and constant names.
#pragma once

#include <string>
#include <string_view>

std::string lower_case(std::string_view name);
// The Java name of a program, version or procedure. name_case_flag is the
// driver's: true keeps the usual case, false (option -i) turns it around.
std::string form_name(std::string_view name, const std::string_view *version, bool name_case_flag);
