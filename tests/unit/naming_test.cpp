// Type mapping and naming helpers.
#include <gtest/gtest.h>

#include <string>

#include "rpc_hout.h"
#include "rpc_text.h"
#include "rpc_util.h"

namespace {

TEST(Naming, JavaTypesAndWrappers) {
  EXPECT_EQ(java_type_of("u_hyper"), "long");
  EXPECT_EQ(java_type_of("u_long"), "int");
  EXPECT_EQ(java_type_of("float"), "float");
  EXPECT_EQ(java_type_of("Long"), "Long");
  EXPECT_EQ(java_type_of("bool"), "boolean");
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

}  // namespace
