#include "platform/ole/text_property_bag.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "test_support.h"

namespace pelmor::ole {
namespace {

MemoryPropertyBag Font(const std::string& name, int64_t size) {
  MemoryPropertyBag font;
  font.Write("Name", PropValue::Text(name));
  font.Write("Size", PropValue::Fixed(size));
  return font;
}

TEST(TextPropertyBag, ReadsWhatAPersonWrites) {
  const char* text =
      "# saved by hand\r\n"
      "\n"
      "  _Version = 65536   # the layout\n"
      "Caption = \"Front \\\"door\\\"\\n\\x41\\t\"\n"
      "ForeColor = 0x80000012\n"
      "_ExtentX = -2646\n"
      "Enabled = false\n"
      "Font = {   # an object\n"
      "  Name = \"DejaVu Sans\"\n"
      "  Size = 9.75\n"
      "}\n"
      "\"odd name\" = 1.5\n"
      "Empty = \"\"";
  TextBagError error;
  const std::optional<MemoryPropertyBag> bag = ParsePropertyText(text, &error);
  ASSERT_TRUE(bag.has_value()) << error.ToString();
  MemoryPropertyBag expected;
  expected.Write("_Version", PropValue::Integer(65536));
  expected.Write("Caption", PropValue::Text("Front \"door\"\nA\t"));
  expected.Write("ForeColor", PropValue::Integer(0x80000012));
  expected.Write("_ExtentX", PropValue::Integer(-2646));
  expected.Write("Enabled", PropValue::Boolean(false));
  expected.Write("Font", PropValue::Object(Font("DejaVu Sans", 97500)));
  expected.Write("odd name", PropValue::Fixed(15000));
  expected.Write("Empty", PropValue::Text(""));
  EXPECT_EQ(*bag, expected);
  EXPECT_TRUE(bag->Read("FORECOLOR")->IsHex());
  EXPECT_EQ(bag->Read("enabled"), bag->Read("Enabled"));
}

TEST(TextPropertyBag, WritesTextThatReadsBackTheSameBag) {
  std::string allBytes;
  for (int b = 0; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
  MemoryPropertyBag inner = Font("Noto \xE2\x82\xAC", -5);
  inner.Write("Deeper", PropValue::Object(Font("x", 0)));
  MemoryPropertyBag bag;
  bag.Write("Largest", PropValue::Integer(std::numeric_limits<int64_t>::max()));
  bag.Write("Smallest", PropValue::Integer(std::numeric_limits<int64_t>::min()));
  bag.Write("Colour", PropValue::HexInteger(0x8000000F));
  bag.Write("FixedMin", PropValue::Fixed(std::numeric_limits<int64_t>::min()));
  bag.Write("FixedMax", PropValue::Fixed(std::numeric_limits<int64_t>::max()));
  bag.Write("Whole", PropValue::Fixed(100000));
  bag.Write("True", PropValue::Boolean(true));
  bag.Write("Bytes", PropValue::Text(allBytes));
  bag.Write("Utf8", PropValue::Text("gr\xC3\xBC\xC3\x9F"));
  bag.Write("with space", PropValue::Integer(1));
  bag.Write("", PropValue::Integer(2));
  bag.Write("Font", PropValue::Object(inner));
  const std::string text = FormatPropertyText(bag);
  TextBagError error;
  const std::optional<MemoryPropertyBag> back = ParsePropertyText(text, &error);
  ASSERT_TRUE(back.has_value()) << error.ToString() << "\n" << text;
  EXPECT_EQ(*back, bag);
  EXPECT_EQ(FormatPropertyText(*back), text);
  // Readable forms, not just parseable ones.
  EXPECT_NE(text.find("Colour = 0x8000000F\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Whole = 10.0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Size = -0.0005\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Utf8 = \"gr\xC3\xBC\xC3\x9F\"\n"), std::string::npos) << text;
}

struct BadText {
  std::string text;
  size_t line;
  const char* message;  // part of the message
};

class TextPropertyBagRefuses : public testing::TestWithParam<BadText> {};

TEST_P(TextPropertyBagRefuses, WithTheLineAndTheReason) {
  TextBagError error;
  EXPECT_FALSE(ParsePropertyText(GetParam().text, &error).has_value());
  EXPECT_EQ(error.line, GetParam().line);
  EXPECT_NE(error.message.find(GetParam().message), std::string::npos) << error.message;
}

INSTANTIATE_TEST_SUITE_P(
    HostileText, TextPropertyBagRefuses,
    testing::Values(
        BadText{"A = \"open", 1, "no closing"}, BadText{"A = \"x\\q\"", 1, "escape"},
        BadText{"A = \"\\x4\"", 1, "two hexadecimal"},
        BadText{"A = \"a\x01\"", 1, "control character"},
        BadText{std::string("A = \"a\0b\"", 8), 1, "control character"},
        BadText{"A = 9223372036854775808", 1, "too large"},
        BadText{"A = -9223372036854775809", 1, "too large"},
        BadText{"A = 0x8000000000000000", 1, "too large"},
        BadText{"A = 0x", 1, "hexadecimal digits"}, BadText{"A = 1.23456", 1, "four decimal"},
        BadText{"A = 1.", 1, "after '.'"}, BadText{"A = 922337203685477.5808", 1, "too large"},
        BadText{"A = -", 1, "digits"}, BadText{"A = yes", 1, "expected a value"},
        BadText{"A =", 1, "expected a value"}, BadText{"A = truely", 1, "expected a value"},
        BadText{"A 1", 1, "expected '='"}, BadText{"1A = 1", 1, "expected a name"},
        BadText{"A = 1 2", 1, "after the value"}, BadText{"A = 1\n\na = 2", 3, "given twice"},
        BadText{"F = {\nA = 1\n", 3, "not closed"}, BadText{"}", 1, "without an open"},
        BadText{"F = { A = 1\n}", 1, "next line"}, BadText{"F = {\n} x", 2, "after '}'"},
        BadText{"F = {\n}\nF = 1", 3, "given twice"}));

TEST(TextPropertyBag, RefusesNestingBeyondSixteen) {
  std::string ok, deep;
  for (int i = 0; i < 16; ++i) ok += "F = {\n";
  for (int i = 0; i < 16; ++i) ok += "}\n";
  EXPECT_TRUE(ParsePropertyText(ok, nullptr).has_value());
  for (int i = 0; i < 17; ++i) deep += "F = {\n";
  TextBagError error;
  EXPECT_FALSE(ParsePropertyText(deep, &error).has_value());
  EXPECT_EQ(error.line, 17u);
}

TEST(TextPropertyBag, AFileThatFailsLeavesTheBagAsItWas) {
  test::TempDir dir;
  TextFilePropertyBag bag(dir.File("state.txt"));
  bag.Write("Caption", PropValue::Text("kept"));
  ASSERT_TRUE(bag.Save());
  TextFilePropertyBag other(bag.Path());
  ASSERT_TRUE(other.Load(nullptr));
  EXPECT_EQ(static_cast<const MemoryPropertyBag&>(other),
            static_cast<const MemoryPropertyBag&>(bag));

  TextBagError error;
  test::WriteFile(bag.Path(), {'X', ' ', '=', '\n'});
  EXPECT_FALSE(other.Load(&error));
  EXPECT_EQ(error.ToString(), "line 1: expected a value");
  std::filesystem::resize_file(bag.Path(), (uint64_t{16} << 20) + 1);
  EXPECT_FALSE(other.Load(&error));
  EXPECT_EQ(error.line, 0u);
  EXPECT_NE(error.message.find("16 MiB"), std::string::npos);
  std::filesystem::remove(bag.Path());
  EXPECT_FALSE(other.Load(&error));
  EXPECT_EQ(other.Read("Caption")->GetText(), "kept");
}

}  // namespace
}  // namespace pelmor::ole
