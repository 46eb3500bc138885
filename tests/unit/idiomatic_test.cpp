// SPDX-License-Identifier: Apache-2.0
// The idiomatic output's names, doc comments and Javadoc text.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "rpc_jout_doc.h"
#include "rpc_jout_names.h"
#include "rpc_parse.h"
#include "rpc_scan.h"
#include "test_support.h"

namespace {

TEST(IdiomaticNames, EachRoleHasItsStyle) {
  struct Case {
    const char *name;
    StyleRole role;
    const char *java;
  };
  const Case cases[] = {
      {"kvstatus", StyleRole::Type, "Kvstatus"},
      {"put_args", StyleRole::Type, "PutArgs"},
      {"KVSTORE_V1", StyleRole::Type, "KvstoreV1"},
      {"READ3resok", StyleRole::Type, "READ3resok"},
      {"nfs_fh3", StyleRole::Type, "NfsFh3"},
      {"_", StyleRole::Type, "T_"},
      {"_1x", StyleRole::Type, "T_1x"},
      {"_x", StyleRole::Type, "_X"},
      {"Builder", StyleRole::Type, "Builder_"},
      {"KV_PUT", StyleRole::Method, "kvPut"},
      {"getAttr", StyleRole::Method, "getAttr"},
      {"close", StyleRole::Method, "close_"},
      {"as_svc", StyleRole::Method, "asSvc_"},
      {"next_entry", StyleRole::Member, "nextEntry"},
      {"_in_arg", StyleRole::Member, "_inArg"},
      {"value_", StyleRole::Member, "value_"},
      {"hashCode", StyleRole::Member, "hashCode_"},
      {"java", StyleRole::Member, "java_"},
      {"class", StyleRole::Member, "class_"},
      {"_", StyleRole::Member, "__"},
      {"KV_MAXKEY", StyleRole::Constant, "KV_MAXKEY"},
      {"PROGRAM", StyleRole::Constant, "PROGRAM_"},
      {"number", StyleRole::EnumConstant, "number_"},
      {"KV_OK", StyleRole::EnumConstant, "KV_OK"},
  };
  for (const Case &c : cases) EXPECT_EQ(style_name(c.name, c.role), c.java) << c.name;
}

// Names of one scope whose styles meet keep their spelling; the others
// keep their style, and only a "_" that Java needs can make two meet.
TEST(IdiomaticNames, NamesThatMeetKeepTheirSpelling) {
  struct Case {
    std::vector<std::string_view> names;
    StyleRole role;
    std::vector<std::string> java;
  };
  const Case cases[] = {
      {{"item", "ITEM", "next_entry"}, StyleRole::Member, {"item", "ITEM", "nextEntry"}},
      {{"Iterable", "ITERABLE", "iterable"}, StyleRole::Member, {"Iterable", "ITERABLE", "iterable"}},
      {{"a_b", "A_B", "aB", ""}, StyleRole::Member, {"a_b", "A_B", "aB", ""}},
      {{"this", "This"}, StyleRole::Member, {"this_", "This"}},
      {{"KV_GET", "kv_get", "kv_put"}, StyleRole::Method, {"KV_GET", "kv_get", "kvPut"}},
      {{"close", "CLOSE"}, StyleRole::Method, {"close_", "CLOSE"}},
      // Still one Java name: the caller reports them.
      {{"this", "this_"}, StyleRole::Member, {"this_", "this_"}},
  };
  for (const Case &c : cases) EXPECT_EQ(scope_style_names(c.names, c.role), c.java) << c.names.front();
}

TEST(IdiomaticNames, VersionClasses) {
  Definition program;
  program.name = "KVSTORE";
  VersionDef named{"KVSTORE_V2", "2", {}, {}};
  VersionDef numbered{"7", "7", {}, {}};
  EXPECT_EQ(version_class_name(program, named), "KvstoreV2");
  EXPECT_EQ(version_class_name(program, numbered), "KvstoreV7");
  EXPECT_EQ(client_class_name("KvstoreV2"), "KvstoreV2Client");
  EXPECT_EQ(service_class_name("KvstoreV2"), "KvstoreV2Service");
}

TEST(IdiomaticDoc, CommentsBecomeSafeJavadoc) {
  EXPECT_EQ(doc_text("/* bytes in a key */"), "bytes in a key");
  EXPECT_EQ(doc_text("/*\n * two\n * lines\n */"), "two lines");
  EXPECT_EQ(doc_text("/**/"), "");
  // HTML, Javadoc's marks, unicode escapes and an early end of comment.
  EXPECT_EQ(doc_text("/* a<b & c>d @param {x} \\u000a */"),
            "a&lt;b &amp; c&gt;d &#64;param &#123;x&#125; &#92;u000a");
  EXPECT_EQ(doc_text("/* a *" "/ */"), "a &#42;/");
  // UTF-8 as code points, anything else as "?".
  EXPECT_EQ(doc_text("/* caf\xc3\xa9 \xff */"), "caf&#233; ?");
}

// Parses text with doc comments kept and hands the first definition to check.
template <typename Check>
void with_definition(const std::string &text, Check check) {
  Scanner scanner;
  TestInput input(scanner, text);
  Parser parser(scanner);
  parser.keeps_docs = true;
  Definition *def = get_definition(parser);
  ASSERT_NE(def, nullptr);
  check(*def);
}

TEST(IdiomaticDoc, CommentsAttachToWhatTheyStandBefore) {
  with_definition(
      "/* the file */\n\n/* a point */\nstruct point {\n  /* across */\n  int x;\n  int y; /* down */\n  int z;\n};\n",
      [](const Definition &def) {
        EXPECT_EQ(def.doc, "/* a point */");
        ASSERT_EQ(def.members.size(), 3u);
        EXPECT_EQ(def.members[0].doc, "/* across */");
        EXPECT_EQ(def.members[1].doc, "/* down */");
        EXPECT_EQ(def.members[2].doc, "");
      });
  // A blank line between the comment and the definition parts them.
  with_definition("/* the file */\n\nconst A = 1;\n", [](const Definition &def) { EXPECT_EQ(def.doc, ""); });
  with_definition("enum e { A, /* after A */\n B /* in B */ = 2 };\n", [](const Definition &def) {
    ASSERT_EQ(def.enum_members.size(), 2u);
    EXPECT_EQ(def.enum_members[0].doc, "/* after A */");
  });
  with_definition(
      "union u switch (int k) {\n/* the one */\ncase 1: int one;\ncase 2: int two; /* two */\ndefault: void;\n};\n",
      [](const Definition &def) {
        ASSERT_EQ(def.cases.size(), 2u);
        EXPECT_EQ(def.cases[0].declaration.doc, "/* the one */");
        EXPECT_EQ(def.cases[1].declaration.doc, "/* two */");
      });
  with_definition("program P {\n  /* v1 */\n  version V {\n  /* ping */\n int PING(void) = 1; } = 1;\n} = 5;\n",
                  [](const Definition &def) {
                    ASSERT_EQ(def.versions.size(), 1u);
                    EXPECT_EQ(def.versions[0].doc, "/* v1 */");
                    EXPECT_EQ(def.versions[0].procedures[0].doc, "/* ping */");
                  });
}

TEST(IdiomaticDoc, TheDefaultParseKeepsNone) {
  Scanner scanner;
  TestInput input(scanner, "/* a point */\nstruct point { int x; /* x */ };\n");
  Parser parser(scanner);
  Definition *def = get_definition(parser);
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->doc, "");
  EXPECT_EQ(def->members[0].doc, "");
}

}  // namespace
