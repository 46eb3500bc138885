// SPDX-License-Identifier: Apache-2.0
// Parser: the model it builds and the messages it stops with.
#include <gtest/gtest.h>

#include <string>

#include "rpc_parse.h"
#include "test_support.h"

namespace {

// A parser over text, and the first Definition it reads.
struct OneParse {
  explicit OneParse(const std::string &text) : input(scanner, text), parser(scanner), def(get_definition(parser)) {}

  Scanner scanner;
  TestInput input;
  Parser parser;
  Definition *def;
};

// The last line of the report: "test.x, line N: message".
std::string parse_error(const std::string &text) {
  Scanner scanner;
  TestInput input(scanner, text);
  Parser parser(scanner);
  std::string error_output;
  int status = expect_run_end(
      [&] {
        while (get_definition(parser)) {
        }
      },
      error_output);
  EXPECT_EQ(status, 1) << text;
  std::size_t last = error_output.rfind("test.x, line ");
  return last == std::string::npos ? error_output : error_output.substr(last);
}

// How many Definitions a text holds; an error fails the test.
int parse_all(const std::string &text) {
  Scanner scanner;
  TestInput input(scanner, text);
  Parser parser(scanner);
  int count = 0;
  while (get_definition(parser)) count++;
  return count;
}

TEST(Parser, TypedefForms) {
  OneParse line("typedef string line<>;");
  const Definition *def = line.def;
  EXPECT_EQ(def->kind, DefinitionKind::Typedef);
  EXPECT_EQ(def->name, "line");
  EXPECT_EQ(def->old_type, "string");
  EXPECT_EQ(def->relation, Relation::VarArray);
  EXPECT_EQ(def->array_bound, "~0");

  OneParse link("typedef struct node *link;");
  def = link.def;
  EXPECT_EQ(def->old_prefix, "struct");
  EXPECT_EQ(def->old_type, "node");
  EXPECT_EQ(def->relation, Relation::Pointer);
  EXPECT_EQ(def->array_bound, "");
}

TEST(Parser, UnsignedAndLongForms) {
  OneParse parse(
      "struct s { unsigned long a; unsigned b; unsigned short int c; long int d; short e;"
      " unsigned char f; unsigned hyper g; int h[N]; opaque k<16>; };");
  const Definition *def = parse.def;
  ASSERT_EQ(def->members.size(), 9u);
  const char *types[] = {"u_long", "u_int", "u_short", "long", "short", "u_char", "u_hyper", "int", "opaque"};
  for (std::size_t i = 0; i < 9; i++) EXPECT_EQ(def->members[i].type, types[i]);
  EXPECT_EQ(def->members[0].relation, Relation::Plain);
  EXPECT_EQ(def->members[7].relation, Relation::FixedArray);
  EXPECT_EQ(def->members[7].array_bound, "N");
  EXPECT_EQ(def->members[8].array_bound, "16");
}

TEST(Parser, UnionArms) {
  OneParse u("union u switch (enum color c) { case RED: int a; case -1: case 0x2: case B: void; default: void; };");
  const Definition *def = u.def;
  EXPECT_EQ(def->discriminant.prefix, "enum");
  EXPECT_EQ(def->discriminant.type, "color");
  ASSERT_EQ(def->cases.size(), 2u);
  auto labels = [&](const UnionCase &arm) {
    std::span<const std::string_view> span = arm_labels(*def, arm);
    return std::vector<std::string_view>(span.begin(), span.end());
  };
  EXPECT_EQ(labels(def->cases[0]), std::vector<std::string_view>{"RED"});
  EXPECT_EQ(labels(def->cases[1]), (std::vector<std::string_view>{"-1", "0x2", "B"}));
  EXPECT_EQ(def->cases[1].declaration.type, "void");
  EXPECT_EQ(def->cases[1].declaration.name, "");
  ASSERT_TRUE(def->default_arm.has_value());
  EXPECT_EQ(def->default_arm->type, "void");

  OneParse v("union v switch (void) { case 1: int a; };");
  def = v.def;
  EXPECT_EQ(def->discriminant.type, "void");
  EXPECT_FALSE(def->default_arm.has_value());
}

TEST(Parser, EnumConstantAndProgram) {
  OneParse e("enum e { A, B = 10, C };");
  const Definition *def = e.def;
  ASSERT_EQ(def->enum_members.size(), 3u);
  EXPECT_FALSE(def->enum_members[0].value.has_value());
  EXPECT_EQ(*def->enum_members[1].value, "10");

  OneParse s("const S = \"ab\";");
  def = s.def;
  EXPECT_EQ(def->value, "\"ab\"");

  OneParse p(
      "program P { version V1 { void N(void) = 0; string E(string) = 2; } = 1;"
      " version V2 { struct r G(struct a) = 1; } = 2; } = 0x2000;");
  def = p.def;
  EXPECT_EQ(def->program_number, "0x2000");
  ASSERT_EQ(def->versions.size(), 2u);
  EXPECT_EQ(def->versions[0].number, "1");
  ASSERT_EQ(def->versions[0].procedures.size(), 2u);
  EXPECT_EQ(def->versions[0].procedures[1].arg_type, "string");
  EXPECT_EQ(def->versions[1].procedures[0].result_prefix, "struct");
  EXPECT_EQ(def->versions[1].procedures[0].arg_type, "a");
}

// Between definitions the scanner drops the input already used and moves
// the rest to the front. Read in small pieces, so that this happens often
// and in the middle of lines, every Definition must still see its own
// texts, whole and unchanged, while it is handed over.
TEST(Parser, DefinitionsKeepTheirTextsWhileTheInputMoves) {
  std::string text;
  for (int i = 0; i < 40; i++) {
    const std::string n = std::to_string(i);
    text += "struct s" + n + " { int first_" + n + "; string name_" + n + "<LIMIT_" + n + ">; }; const C" + n +
            " = " + n + ";";
    text += i % 3 == 0 ? "\n" : " ";
    if (i % 7 == 0) text += "/* a comment\n over lines */\n";
  }
  for (std::size_t piece : {1, 3, 16, 100, 1 << 16}) {
    Scanner scanner;
    TestInput input(scanner, text);
    scanner.input.piece_size = piece;
    Parser parser(scanner);
    for (int i = 0; i < 40; i++) {
      const std::string n = std::to_string(i);
      Definition *def = get_definition(parser);
      ASSERT_NE(def, nullptr);
      EXPECT_EQ(def->name, "s" + n) << "piece " << piece;
      ASSERT_EQ(def->members.size(), 2u);
      EXPECT_EQ(def->members[0].name, "first_" + n);
      EXPECT_EQ(def->members[1].name, "name_" + n);
      EXPECT_EQ(def->members[1].array_bound, "LIMIT_" + n);
      def = get_definition(parser);
      ASSERT_NE(def, nullptr);
      EXPECT_EQ(def->name, "C" + n);
      EXPECT_EQ(def->value, n);
    }
    EXPECT_EQ(get_definition(parser), nullptr);
    // The storage holds the lines in use, not the whole input.
    EXPECT_LT(scanner.input.read_end, piece < 100 ? 400u : text.size() + 1);
  }
}

// The memory holds what came before the Definition handed over last, and
// its texts outlive the input they were read from.
TEST(Parser, RemembersEarlierDefinitions) {
  Scanner scanner;
  TestInput input(scanner,
                  "const A = 0x100000000; const B = A; enum e { X = 2147483647, Y, Z = X };\n"
                  "const C = Y; const S = \"s\"; typedef e t; typedef t u<>; typedef int t;\n"
                  "const LAST = 1;");
  Parser parser(scanner);
  int count = 0;
  while (Definition *def = get_definition(parser)) {
    count++;
    // A Definition does not see itself.
    EXPECT_EQ(find_value(parser.memory, "LAST"), nullptr);
    if (def->name == "C") {
      EXPECT_NE(find_value(parser.memory, "Y"), nullptr);
    }
  }
  EXPECT_EQ(count, 9);
  const DefinitionMemory &memory = parser.memory;
  const RememberedValue *b = find_value(memory, "B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->type, ConstantType::Long);
  EXPECT_EQ(b->number_text, "0x100000000");
  const RememberedValue *y = find_value(memory, "Y");
  ASSERT_NE(y, nullptr);
  EXPECT_TRUE(y->is_enum_member);
  EXPECT_EQ(y->enum_name, "e");
  ASSERT_TRUE(y->value.has_value());
  EXPECT_TRUE(y->value->negative);  // 0x7fffffff + 1 as a Java int
  EXPECT_EQ(y->value->magnitude, 0x80000000u);
  const RememberedValue *c = find_value(memory, "C");
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(c->is_enum_member);
  EXPECT_EQ(c->enum_name, "e");
  EXPECT_EQ(c->alias_member, "Y");
  EXPECT_EQ(find_value(memory, "S")->type, ConstantType::String);
  // A later definition of a name replaces the earlier.
  ASSERT_NE(find_typedef(memory, "t"), nullptr);
  EXPECT_EQ(find_typedef(memory, "t")->old_type, "int");
  ASSERT_NE(find_typedef(memory, "u"), nullptr);
  EXPECT_EQ(find_typedef(memory, "u")->relation, Relation::VarArray);
  EXPECT_EQ(find_typedef(memory, "u")->old_type, "t");
}

// Many names, each a constant naming the one before: all are found, and
// each comes to the first one's number.
TEST(Parser, RemembersManyDefinitions) {
  std::string text = "const K0 = 0x7;";
  for (int i = 1; i < 3000; i++) text += " const K" + std::to_string(i) + " = K" + std::to_string(i - 1) + ";";
  text += " const LAST = 1;";
  Scanner scanner;
  TestInput input(scanner, text);
  Parser parser(scanner);
  while (get_definition(parser)) {
  }
  for (int i = 0; i < 3000; i++) {
    std::string name = "K";
    name += std::to_string(i);
    const RememberedValue *k = find_value(parser.memory, name);
    ASSERT_NE(k, nullptr) << i;
    EXPECT_EQ(k->number_text, "0x7") << i;
  }
  EXPECT_EQ(find_value(parser.memory, "K3000"), nullptr);
}

TEST(Parser, EmptyInputHasNoDefinition) { EXPECT_EQ(OneParse("/* c */\n%pass\n# 3 \"x\"\n\n").def, nullptr); }

// Numbers out of range for what they number, written or named: each is an
// input error that says the range, where Java would not compile them.
TEST(Parser, NumbersOutOfRange) {
  const std::string program = "test.x, line 1: program number out of range: expected 0 to 4294967295\n";
  const std::string version = "test.x, line 1: version number out of range: expected 0 to 4294967295\n";
  const std::string procedure = "test.x, line 1: procedure number out of range: expected 0 to 4294967295\n";
  const std::string size = "test.x, line 1: array size out of range: expected 0 to 2147483647\n";
  const std::string maximum = "test.x, line 1: maximum size out of range: expected -2147483648 to 2147483647\n";
  const std::string enum_value = "test.x, line 1: enum value out of range: expected -2147483648 to 4294967295\n";
  const struct {
    const char *input;
    const std::string &message;
  } cases[] = {
      {"program P { version V { void f(void) = 1; } = 1; } = 4294967296;", program},
      {"program P { version V { void f(void) = 1; } = 1; } = -1;", program},
      {"const N = 0x100000000; program P { version V { void f(void) = 1; } = N; } = 1;", version},
      {"program P { version V { void f(void) = -1; } = 1; } = 1;", procedure},
      {"program P { version V { void f(void) = 99999999999999999999; } = 1; } = 1;", procedure},
      {"struct s { opaque b[2147483648]; };", size},
      {"struct s { opaque b[-1]; };", size},
      {"const N = -4; struct s { int b[N]; };", size},
      {"struct s { int b<0x80000000>; };", maximum},
      {"struct s { int b<-2147483649>; };", maximum},
      {"const M = 4294967295; struct s { string b<M>; };", maximum},
      {"enum e { A = 4294967296 };", enum_value},
      {"enum e { A = -2147483649 };", enum_value},
      {"const B = 0x100000000; enum e { A = B };", enum_value},
  };
  for (const auto &c : cases) EXPECT_EQ(parse_error(c.input), c.message) << c.input;
  // The edges themselves are numbers like any other.
  EXPECT_EQ(parse_all("program P { version V { void f(void) = 4294967295; } = 0; } = 0xffffffff;\n"
                      "struct s { opaque b[2147483647]; int c<0x7fffffff>; int d<-2147483648>; opaque e[0]; };\n"
                      "enum e { A = 4294967295, B = -2147483648, C };"),
            3);
}

// What the grammar lets pass but Java would not take is an input error
// once the definition is read whole; a syntax error in the same
// definition is reported as such.
TEST(Parser, FaultsJavaWouldNotTake) {
  const struct {
    const char *input;
    const char *message;
  } cases[] = {
      {"enum e { A = 4294967295, B };", "enum value out of range: B counts on to 4294967296, expected -2147483648 to 4294967295"},
      {"const C = 0xffffffff; enum e { A = C, B, D };", "enum value out of range: B counts on to 4294967296, expected -2147483648 to 4294967295"},
      {"program P { version V { void F(void) = 099; } = 1; } = 1;", "malformed number 099: a number that begins with 0 is octal, whose digits are 0 to 7"},
      {"const X = 0x;", "malformed number 0x: \"0x\" without hexadecimal digits"},
      {"union u switch (int d) { case -: void; };", "malformed number -: a sign without digits"},
      {"struct s { int 12; };", "name expected, not the number 12"},
      {"struct s { 7 a; };", "name expected, not the number 7"},
      {"enum 3 { A };", "name expected, not the number 3"},
      {"const L = \"eight\"; struct s { string n<L>; };", "L is a string constant, not a number"},
      {"const L = \"eight\"; program P { version V { void F(void) = L; } = 1; } = 1;", "L is a string constant, not a number"},
      // The syntax error comes first.
      {"struct s { int 12 x; };", "expected ';'"},
      {"const A = 0xg;", "expected ';'"},
  };
  for (const auto &c : cases) EXPECT_EQ(parse_error(c.input), std::string("test.x, line 1: ") + c.message + "\n") << c.input;
  // Counting on to the top of the range is fine, and so is 0x in a name.
  EXPECT_EQ(parse_all("enum e { A = 4294967294, B }; const C0x = 010; struct s { int x0; };"), 3);
}

// A string constant is written into Java as it stands: an escape that
// Java reads otherwise than C, or not at all, is an error.
TEST(Parser, StringConstantEscapes) {
  EXPECT_EQ(parse_error("const S = \"a\\qb\";"),
            "test.x, line 1: string constant has an escape that Java does not read as C does: \\q\n");
  EXPECT_EQ(parse_error("const S = \"\\u0022\";"),
            "test.x, line 1: string constant has an escape that Java does not read as C does: \\u\n");
  EXPECT_EQ(parse_error("const S = \"a\\\";"), "test.x, line 1: string constant ends in a backslash\n");
  EXPECT_EQ(parse_error("const S = \"a\rb\";"), "test.x, line 1: string constant holds a carriage return\n");
  EXPECT_EQ(parse_all("const S = \"\\b\\t\\n\\f\\r\\'\\\\\\0\\177 x\";"), 1);
}

TEST(Parser, Messages) {
  EXPECT_EQ(parse_error("version"), "test.x, line 1: definition keyword expected\n");
  EXPECT_EQ(parse_error("struct s { };"), "test.x, line 1: expected type specifier\n");
  EXPECT_EQ(parse_error("struct s { void; };"),
            "test.x, line 1: voids allowed only inside union and program definitions\n");
  EXPECT_EQ(parse_error("struct s { int *p[2]; };"),
            "test.x, line 1: no array-of-pointer declarations -- use typedef\n");
  EXPECT_EQ(parse_error("struct s { opaque *p; };"), "test.x, line 1: array declaration expected\n");
  EXPECT_EQ(parse_error("struct s { string t[4]; };"), "test.x, line 1: variable-length array declaration expected\n");
  EXPECT_EQ(parse_error("program P { version V { opaque f(int) = 1; } = 1; } = 1;"),
            "test.x, line 1: illegal result type\n");
  EXPECT_EQ(parse_error("program P { version V { int f(opaque) = 1; } = 1; } = 1;"),
            "test.x, line 1: illegal argument type\n");
  EXPECT_EQ(parse_error("struct s { int a[]; };"), "test.x, line 1: constant or identifier expected\n");
  EXPECT_EQ(parse_error("const A = ;"), "test.x, line 1: expected 'identifier' or '\?\?\?\?\?\?'\n");
  EXPECT_EQ(parse_error("struct s { int a<4; };"), "test.x, line 1: expected '\?\?\?\?\?\?'\n");
  EXPECT_EQ(parse_error("union u switch (int d) { default: void; };"), "test.x, line 1: expected 'case'\n");
  EXPECT_EQ(parse_error("enum e { A, };"), "test.x, line 1: expected 'identifier'\n");
  EXPECT_EQ(parse_error("enum e { A = 1 ;"), "test.x, line 1: expected ',' or '}'\n");
  EXPECT_EQ(parse_error("enum e { A B"), "test.x, line 1: expected ',', '}' or '='\n");
  EXPECT_EQ(parse_error("union u switch (int d) { case 1: int a; int"),
            "test.x, line 1: expected 'case', 'default' or '}'\n");
  EXPECT_EQ(parse_error("struct s { unsigned float f; };"), "test.x, line 1: expected '*' or 'identifier'\n");
  EXPECT_EQ(parse_error("struct s { long long x; };"), "test.x, line 1: expected '*' or 'identifier'\n");
  EXPECT_EQ(parse_error("program P { version V { int f(int x) = 1; } = 1; } = 1;"), "test.x, line 1: expected ')'\n");
  EXPECT_EQ(parse_error("program P { version V { int f(int) = 1; } = 1; int"),
            "test.x, line 1: expected 'version' or '}'\n");
  EXPECT_EQ(parse_error("const A = 1\n"), "test.x, line 1: expected ';'\n");
  EXPECT_EQ(parse_error("struct s { int a, b; };"), "test.x, line 1: expected ';'\n");
  EXPECT_EQ(parse_error("struct s { struct { int a; } b; };"), "test.x, line 1: expected 'identifier'\n");
}

TEST(Parser, CaretsReachPastALookedAtToken) {
  Scanner scanner;
  TestInput input(scanner, "struct s {\n  int a b;\n};\n");
  Parser parser(scanner);
  std::string error_output;
  expect_run_end([&] { get_definition(parser); }, error_output);
  EXPECT_EQ(error_output, "  int a b;\n^^^^^^^^^\ntest.x, line 2: expected ';'\n");
}

}  // namespace
