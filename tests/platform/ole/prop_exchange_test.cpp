#include "platform/ole/prop_exchange.h"

#include <gtest/gtest.h>

#include "platform/ole/text_property_bag.h"
#include "test_support.h"

namespace pelmor::ole {
namespace {

using test::Bytes;
using test::ByteWriter;

constexpr uint32_t kVersion = 0x00010000;

// One value of every kind, exchanged in this order.
struct Values {
  int16_t small = 0;
  int32_t count = 0;
  uint32_t mask = 0;
  uint32_t color = 0;
  bool flag = false;
  std::string text;
  FontDesc font;
  bool operator==(const Values&) const = default;
};

const Values kDefaults{7,
                       -1,
                       0x3F,
                       0x8000000F,
                       true,
                       "default",
                       {.name = "Sans", .size = 8, .weight = 400, .charset = 0}};

uint32_t Exchange(PropertyExchange& px, Values& v) {
  const uint32_t version = px.Version(kVersion);
  px.Int16("Small", v.small, kDefaults.small);
  px.Int32("Count", v.count, kDefaults.count);
  px.UInt32("Mask", v.mask, kDefaults.mask);
  px.Color("Color", v.color, kDefaults.color);
  px.Bool("Flag", v.flag, kDefaults.flag);
  px.Text("Text", v.text, kDefaults.text);
  px.Font("Font", v.font, kDefaults.font);
  return version;
}

const Values kSample{-2,
                     100000,
                     5,
                     0x00112233,
                     false,
                     "hi",
                     {.name = "Mono",
                      .size = 9.75,
                      .weight = 700,
                      .charset = 2,
                      .italic = true,
                      .strikethrough = true}};

Bytes SaveToArchive(Values v) {
  Bytes out;
  Archive ar(out);
  ArchivePropExchange px(ar);
  Exchange(px, v);
  px.Finish();
  return out;
}

// Loads the block, then reads one more byte when there is one (to see where the block ended).
struct Loaded {
  Values values = kDefaults;
  std::optional<ArchiveError> error;
  int after = -1;
};

Loaded LoadFromArchive(const Bytes& bytes) {
  CByteReader in(bytes.data(), bytes.size());
  Archive ar(in);
  Loaded r;
  r.values = Values{};
  try {
    ArchivePropExchange px(ar);
    Exchange(px, r.values);
    px.Finish();
    if (ar.Remaining() > 0) r.after = ar.ReadU8();
  } catch (const ArchiveException& e) {
    r.error = e.Cause();
  }
  return r;
}

ByteWriter SampleFields() {
  ByteWriter w;
  w.U16(0xFFFE).U32(100000).U32(5).U32(0x00112233).U8(0).U8(2).Text("hi");
  w.U8(4).Text("Mono").U32(97500).U32(0).U16(700).U8(1).U8(0).U8(1).U16(2);
  return w;
}

TEST(ArchivePropExchange, WritesVersionSizeAndValuesInOrder) {
  const Bytes fields = SampleFields().Take();
  EXPECT_EQ(
      SaveToArchive(kSample),
      ByteWriter().U32(kVersion).U32(static_cast<uint32_t>(fields.size())).Append(fields).Take());
  const Loaded back = LoadFromArchive(SaveToArchive(kSample));
  EXPECT_FALSE(back.error.has_value());
  EXPECT_EQ(back.values, kSample);
}

TEST(ArchivePropExchange, ALaterMinorVersionIsReadAndItsNewValuesSkipped) {
  const Bytes fields = SampleFields().U32(0xDEADBEEF).Text("later").Take();
  const Loaded r = LoadFromArchive(ByteWriter()
                                       .U32(0x00010007)
                                       .U32(static_cast<uint32_t>(fields.size()))
                                       .Append(fields)
                                       .U8(0x99)
                                       .Take());
  EXPECT_FALSE(r.error.has_value());
  EXPECT_EQ(r.values, kSample);
  EXPECT_EQ(r.after, 0x99);
}

TEST(ArchivePropExchange, ValuesTheBlockEndsBeforeTakeTheirDefaults) {
  const Bytes fields = ByteWriter().U16(0xFFFE).U32(100000).Take();
  const Loaded r = LoadFromArchive(
      ByteWriter().U32(kVersion).U32(static_cast<uint32_t>(fields.size())).Append(fields).Take());
  ASSERT_FALSE(r.error.has_value());
  Values expected = kDefaults;
  expected.small = -2;
  expected.count = 100000;
  EXPECT_EQ(r.values, expected);
}

TEST(ArchivePropExchange, RefusesBrokenBlocks) {
  const Bytes fields = SampleFields().Take();
  const auto size = static_cast<uint32_t>(fields.size());
  struct Case {
    const char* name;
    Bytes bytes;
    ArchiveError error;
  };
  const Case cases[] = {
      {"another major version", ByteWriter().U32(0x00020000).U32(size).Append(fields).Take(),
       ArchiveError::kBadFormat},
      {"a size past the stream's end",
       ByteWriter().U32(kVersion).U32(size + 1).Append(fields).Take(), ArchiveError::kEndOfFile},
      {"a size of 4 GiB in a short stream",
       ByteWriter().U32(kVersion).U32(0xFFFFFFFF).Append(fields).Take(), ArchiveError::kEndOfFile},
      {"a block that ends inside the text",
       ByteWriter().U32(kVersion).U32(17).Append(fields).Take(), ArchiveError::kEndOfFile},
      {"a block that ends inside the font",
       ByteWriter().U32(kVersion).U32(size - 3).Append(fields).Take(), ArchiveError::kEndOfFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadFromArchive(c.bytes).error, c.error);
  }
  const Bytes whole = SaveToArchive(kSample);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    EXPECT_EQ(LoadFromArchive(Bytes(whole.begin(), whole.begin() + cut)).error,
              ArchiveError::kEndOfFile)
        << cut;
  }
}

// ---- bags ----

Values LoadFromBag(const std::string& text) {
  std::optional<MemoryPropertyBag> bag = ParsePropertyText(text, nullptr);
  EXPECT_TRUE(bag.has_value()) << text;
  BagPropExchange px(static_cast<const PropertyBag&>(*bag));
  Values v;
  Exchange(px, v);
  return v;
}

TEST(BagPropExchange, SavesReadableNamedValuesThatLoadBack) {
  MemoryPropertyBag bag;
  Values v = kSample;
  BagPropExchange save(bag);
  Exchange(save, v);
  EXPECT_EQ(FormatPropertyText(bag),
            "_Version = 65536\nSmall = -2\nCount = 100000\nMask = 5\nColor = 0x00112233\n"
            "Flag = false\nText = \"hi\"\nFont = {\n  Name = \"Mono\"\n  Size = 9.75\n"
            "  Weight = 700\n  Italic = true\n  Underline = false\n  Strikethrough = true\n"
            "  Charset = 2\n}\n");
  EXPECT_EQ(LoadFromBag(FormatPropertyText(bag)), kSample);
}

TEST(BagPropExchange, MissingValuesTakeTheirDefaultsAndLooseFormsAreAccepted) {
  EXPECT_EQ(LoadFromBag(""), kDefaults);
  Values expected = kDefaults;
  expected.flag = false;
  expected.font.size = 12;
  expected.font.italic = true;
  EXPECT_EQ(LoadFromBag("flag = 0\nFONT = {\n size = 12\n italic = -1\n}\n"), expected);
}

TEST(BagPropExchange, RefusesValuesOfTheWrongKindOrRange) {
  const std::pair<const char*, const char*> cases[] = {
      {"Small = 32768", "Small: 32768 is outside"},
      {"Count = 2147483648", "Count: 2147483648 is outside"},
      {"Mask = -1", "Mask: -1 is outside"},
      {"Color = 0x100000000", "Color: 4294967296 is outside"},
      {"Count = 1.5", "Count: expected a whole number"},
      {"Flag = \"yes\"", "Flag: expected true or false"},
      {"Text = 3", "Text: expected text"},
      {"Font = \"Mono\"", "Font: expected an object"},
      {"Font = {\nSize = true\n}", "Font.Size: expected a number"},
      {"Font = {\nSize = 922337203685478\n}", "Font.Size: expected a number"},
      {"Font = {\nWeight = 40000\n}", "Font.Weight: 40000 is outside"},
      {"_Version = 131072", "layout version 2.0"},
  };
  for (const auto& [text, message] : cases) {
    std::optional<MemoryPropertyBag> bag = ParsePropertyText(text, nullptr);
    ASSERT_TRUE(bag.has_value()) << text;
    BagPropExchange px(static_cast<const PropertyBag&>(*bag));
    Values v;
    try {
      Exchange(px, v);
      ADD_FAILURE() << text << " was accepted";
    } catch (const ArchiveException& e) {
      EXPECT_EQ(e.Cause(), ArchiveError::kBadFormat) << text;
      EXPECT_NE(e.Detail().find(message), std::string::npos) << e.Detail();
    }
  }
}

}  // namespace
}  // namespace pelmor::ole
