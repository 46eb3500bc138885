// SPDX-License-Identifier: Apache-2.0
// Type mapping and naming helpers.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "rpc_hout_refs.h"
#include "rpc_parse.h"
#include "rpc_scan.h"
#include "rpc_hout_types.h"
#include "rpc_number.h"
#include "rpc_text.h"
#include "rpc_util.h"
#include "test_support.h"

namespace {

TEST(Naming, JavaTypesAndWrappers) {
  std::string spare;
  const DefinitionMemory no_types;
  EXPECT_EQ(java_type_of("u_hyper", spare, no_types), "long");
  EXPECT_EQ(java_type_of("u_long", spare, no_types), "int");
  EXPECT_EQ(java_type_of("float", spare, no_types), "float");
  EXPECT_EQ(java_type_of("Long", spare, no_types), "Long");
  EXPECT_EQ(java_type_of("bool", spare, no_types), "boolean");
  EXPECT_EQ(wrapper_class_of("long"), "XDTLong");
  EXPECT_EQ(wrapper_class_of("byte"), "XDTbytes");
  EXPECT_EQ(wrapper_class_of("void"), "XDTvoid");
  EXPECT_EQ(wrapper_class_of("point"), "point");
  EXPECT_TRUE(is_builtin_type("String"));
  EXPECT_TRUE(is_builtin_type("void"));
  EXPECT_TRUE(is_builtin_type("double"));
  EXPECT_FALSE(is_builtin_type("string"));
  EXPECT_FALSE(is_builtin_type("point"));
}

TEST(Naming, QualifyBound) {
  EXPECT_EQ(qualify_bound("16", "GEOPROG"), "16");
  EXPECT_EQ(qualify_bound("0x10", "GEOPROG"), "0x10");
  EXPECT_EQ(qualify_bound("MAXPTS", "GEOPROG"), "GEOPROG.MAXPTS");
  EXPECT_EQ(qualify_bound("-1", "GEOPROG"), "-1");
  EXPECT_EQ(qualify_bound("-x", "GEOPROG"), "GEOPROG.-x");
  EXPECT_EQ(qualify_bound("-", "GEOPROG"), "GEOPROG.-");

  testing::internal::CaptureStderr();
  EXPECT_EQ(qualify_bound("16", ""), "16");
  EXPECT_EQ(qualify_bound("N", ""), "N");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Internal error: 16Internal error: N");
}

TEST(Naming, FormNameBothCases) {
  std::string_view one = "1", two = "2", zero_one = "01";
  EXPECT_EQ(form_name("GEOPROG", &one, true), "GEOPROG");
  EXPECT_EQ(form_name("GEOPROG", &two, true), "geoprog_2");
  EXPECT_EQ(form_name("GEOPROG", &zero_one, true), "geoprog_01");
  EXPECT_EQ(form_name("GetPoint", nullptr, true), "GetPoint");
  EXPECT_EQ(form_name("GEOPROG", &one, false), "geoprog");
  EXPECT_EQ(form_name("GEOPROG", &two, false), "GEOPROG_2");
  EXPECT_EQ(form_name("GetPoint", nullptr, false), "getpoint");
  EXPECT_EQ(lower_case("Geo_PROG2\xC4"), "geo_prog2\xC4");
}

// The Java compile of builtin_rows.x holds every row of the built-in types'
// table to the runtime: each row the parser can produce must stand there in
// a struct of its own (string and opaque in the shapes they allow), and as
// a procedure's argument and result.
TEST(Naming, EveryBuiltinRowIsCompiled) {
  std::ifstream file(BUILTIN_ROWS_FILE);
  ASSERT_TRUE(file) << BUILTIN_ROWS_FILE;
  std::stringstream text;
  text << file.rdbuf();
  Scanner scanner;
  TestInput input(scanner, text.str());
  Parser parser(scanner);
  std::set<std::string> struct_types, procedure_types;
  while (Definition *def = get_definition(parser)) {
    if (def->kind == DefinitionKind::Struct) {
      for (const Declaration &member : def->members) struct_types.insert(std::string(member.type));
    } else if (def->kind == DefinitionKind::Program) {
      for (const ProcedureDef &proc : def->versions[0].procedures) {
        procedure_types.insert(std::string(proc.arg_type));
        procedure_types.insert(std::string(proc.result_type));
      }
    }
  }
  for (const BuiltinType &row : builtin_type_rows()) {
    // "enum" is a row for the runtime's sake: no declaration has that type.
    if (row.xdr_name == "enum") continue;
    if (row.xdr_name != "void") {
      EXPECT_TRUE(struct_types.contains(std::string(row.xdr_name))) << row.xdr_name;
    }
    if (row.xdr_name != "opaque") {
      EXPECT_TRUE(procedure_types.contains(std::string(row.xdr_name))) << row.xdr_name;
    }
  }
}

TEST(Naming, NamesJavaWillNotTake) {
  struct Row {
    std::string_view name;
    NameRole role;
    bool renamed;
  };
  const Row rows[] = {
      {"class", NameRole::Value, true},    {"_", NameRole::Member, true},         {"null", NameRole::Method, true},
      {"goto", NameRole::Type, true},      {"var", NameRole::Type, true},         {"var", NameRole::Value, false},
      {"sealed", NameRole::Type, true},    {"permits", NameRole::Member, false},  {"String", NameRole::Type, true},
      {"String", NameRole::Member, false}, {"XDTLong", NameRole::Type, true},     {"XDTlong", NameRole::Type, false},
      {"xdrs", NameRole::Member, true},    {"xdrs", NameRole::Type, true},       {"stop", NameRole::Method, true},
      {"stop", NameRole::Value, false},    {"notifyAll", NameRole::Method, true}, {"Class", NameRole::Value, false},
      {"__", NameRole::Value, false},      {"XDR", NameRole::Member, true},       {"XDR", NameRole::Value, false},
      {"value", NameRole::EnumMember, true}, {"value", NameRole::Value, false},   {"value", NameRole::Member, false},
      {"kelvaro", NameRole::Value, true},  {"kelvaro", NameRole::EnumMember, false}, {"_def_pno", NameRole::Value, true},
      {"new", NameRole::EnumMember, true},
      // A class that obscures the runtime's package, or that the parameters
      // of xdr() and proc_call() hide where a label names it.
      {"kelvaro", NameRole::Type, true},   {"proc", NameRole::Type, true},         {"inXDR", NameRole::Type, true},
      // An interface that the client's parameters and locals, or its own
      // fields, hide.
      {"host", NameRole::Interface, true}, {"proto", NameRole::Interface, true},  {"in_arg", NameRole::Interface, true},
      {"_def_pno", NameRole::Interface, true}, {"host", NameRole::Type, false},   {"String", NameRole::Interface, true},
      // A constant that the server's parameters or result locals hide in a
      // case label.
      {"proc", NameRole::Value, true},     {"inXDR", NameRole::Value, true},      {"_out_arg1", NameRole::Value, true},
      {"_out_argument_x", NameRole::Value, true}, {"_out_ar", NameRole::Value, false},
      {"_out_arg1", NameRole::Member, false},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(needs_trailing_underscore(row.name, row.role), row.renamed) << row.name;
    EXPECT_EQ(java_name(row.name, row.role), std::string(row.name) + (row.renamed ? "_" : "")) << row.name;
  }
  // A type named like a built-in's class is a generated class, not the built-in.
  std::string spare;
  const DefinitionMemory no_types;
  Scanner scanner;
  TestInput input(scanner, "struct String { int a; };");
  Parser parser(scanner);
  while (get_definition(parser)) {
  }
  EXPECT_EQ(java_type_of("String", spare, parser.memory), "String_");
  EXPECT_FALSE(is_builtin_type(java_type_of("String", spare, parser.memory)));
  // A type the input only names, and does not define, is the user's own
  // Java type: it stays as written, even a word Java takes.
  EXPECT_EQ(java_type_of("String", spare, no_types), "String");
  EXPECT_EQ(java_type_of("boolean", spare, no_types), "boolean");
  EXPECT_TRUE(is_builtin_type(java_type_of("boolean", spare, no_types)));
  EXPECT_EQ(java_type_of("string", spare, no_types), "String");
  EXPECT_EQ(java_type_of("double", spare, no_types), "double");
}

TEST(Numbers, ValuesAndJavaLiterals) {
  struct Row {
    std::string_view text;
    bool known;
    bool long_value;
    std::string_view int_literal;
    std::string_view long_literal;
  };
  const Row rows[] = {
      {"0", true, false, "0", "0L"},
      {"2147483647", true, false, "2147483647", "2147483647L"},
      {"2147483648", true, false, "0x80000000", "2147483648L"},
      {"4294967295", true, false, "0xffffffff", "4294967295L"},
      {"3000000000", true, false, "0xb2d05e00", "3000000000L"},
      {"4294967296", true, true, "4294967296", "4294967296L"},
      {"0xFFFFFFFF", true, false, "0xFFFFFFFF", "0xFFFFFFFFL"},
      {"0x100000000", true, true, "0x100000000", "0x100000000L"},
      {"037777777777", true, false, "037777777777", "037777777777L"},
      {"-2147483648", true, false, "-2147483648", "-2147483648L"},
      {"-2147483649", true, true, "-2147483649", "-2147483649L"},
      {"9223372036854775808", true, true, "9223372036854775808", "0x8000000000000000L"},
      {"18446744073709551615", true, true, "18446744073709551615", "0xffffffffffffffffL"},
      {"-9223372036854775808", true, true, "-9223372036854775808", "-9223372036854775808L"},
      // Beyond 64 bits, and texts that start like numbers but are none.
      {"18446744073709551616", false, false, "18446744073709551616", "18446744073709551616"},
      {"-9223372036854775809", false, false, "-9223372036854775809", "-9223372036854775809"},
      {"0x10000000000000000", false, false, "0x10000000000000000", "0x10000000000000000"},
      {"09", false, false, "09", "09"},
      {"-", false, false, "-", "-"},
  };
  for (const Row &row : rows) {
    const std::optional<NumberValue> value = number_value(row.text);
    EXPECT_EQ(value.has_value(), row.known) << row.text;
    if (value) {
      EXPECT_EQ(needs_long(*value), row.long_value) << row.text;
    }
    EXPECT_EQ(java_int_literal(row.text), row.int_literal) << row.text;
    EXPECT_EQ(java_long_literal(row.text), row.long_literal) << row.text;
  }
  EXPECT_TRUE(is_zero(*number_value("0x0")));
  EXPECT_TRUE(is_zero(*number_value("00")));
  EXPECT_TRUE(is_zero(*number_value("-0")));
  // Counting on as Java ints do: 0xffffffff + 1 is 0, 0x7fffffff + 1 is -2^31.
  EXPECT_TRUE(is_zero(int_value(*add_count(*number_value("0xffffffff"), 1))));
  const NumberValue wrapped = int_value(*add_count(*number_value("2147483647"), 1));
  EXPECT_TRUE(wrapped.negative);
  EXPECT_EQ(wrapped.magnitude, 0x80000000u);
  const NumberValue up = *add_count(*number_value("-3"), 5);
  EXPECT_FALSE(up.negative);
  EXPECT_EQ(up.magnitude, 2u);
}

TEST(Naming, FormatTextTreatsArgumentsAsData) {
  EXPECT_EQ(format_text("%s.%s", {"A", "%s"}), "A.%s");
  EXPECT_EQ(format_text("%d%%", {"5"}), "5%");
  EXPECT_EQ(format_text("x %s", {}), "x ");
}

// The pieces are cut when the program is compiled; these are the edges of
// that cut: a lone or unknown "%" stays, "%%" next to a place, extra
// arguments, and a format that is all places.
TEST(Naming, FormatTextPieces) {
  EXPECT_EQ(format_text("100%", {"unused"}), "100%");
  EXPECT_EQ(format_text("%x%s%", {"A"}), "%xA%");
  EXPECT_EQ(format_text("%%%s%%", {"B"}), "%B%");
  EXPECT_EQ(format_text("%s%d%s", {"a", "b", "c", "d"}), "abc");
  EXPECT_EQ(format_text("", {"a"}), "");
  constexpr FormatText cut = "a%sbc%%d%s";
  static_assert(cut.piece_count == 4 && cut.literal_size == 5);
  std::string out = "head:";
  append_format(out, cut, {"1", "22"});
  EXPECT_EQ(out, "head:a1bc%d22");
}

// A file's text is built in a buffer that only grows and is reused from
// file to file: what it holds must be exactly what was appended since it
// was last emptied, across every growth and with pieces of every length.
TEST(Naming, TextBufferKeepsWhatWasAppended) {
  TextBuffer buffer;
  for (int round = 0; round < 2; round++) {
    std::string expected;
    buffer.size = 0;
    for (std::size_t n = 0; n < 300; n++) {
      const std::string piece(n % 37, static_cast<char>('a' + n % 26));
      append_text(buffer, piece);
      append_tabs(buffer, n % 19);
      append_format(buffer, "<%s|%d>", {piece, std::to_string(n)});
      expected += piece + std::string(n % 19, '\t') + "<" + piece + "|" + std::to_string(n) + ">";
    }
    ASSERT_EQ(text_of(buffer), expected) << "round " << round;
  }
  buffer.size = 0;
  append_tabs(buffer, 0);
  EXPECT_EQ(text_of(buffer), "");
}

TEST(Naming, JavaPackageNames) {
  struct Case {
    std::string_view name;
    bool valid;
  };
  constexpr Case cases[] = {
      {"a", true},          {"com.example.kv", true}, {"_x.$y.z9", true}, {"kelvaro.ZELT", true},
      {"", false},          {".a", false},            {"a.", false},      {"a..b", false},
      {"com.9x", false},    {"com.int", false},       {"true", false},    {"a._", false},
      {"a-b", false},       {"a b", false},           {"a.b;", false},    {"caf\xc3\xa9", false},
  };
  for (const Case &c : cases) EXPECT_EQ(is_java_package_name(c.name), c.valid) << c.name;
}

}  // namespace
