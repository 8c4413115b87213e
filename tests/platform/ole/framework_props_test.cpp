#include "platform/ole/framework_props.h"

#include <gtest/gtest.h>

#include "platform/ole/text_property_bag.h"
#include "test_support.h"

namespace pelmor::ole {
namespace {

using test::Bytes;
using test::ByteWriter;

const FrameworkProps kDefaults{
    2646,       1323,       "",
    0x80000012, 0x8000000F, {.name = "DejaVu Sans", .size = 9.75, .weight = 400, .charset = 0},
    0,          true};

FrameworkProps LoadBlock(const Bytes& bytes) {
  CByteReader in(bytes.data(), bytes.size());
  Archive ar(in);
  ArchivePropExchange px(ar);
  FrameworkProps props;
  EXPECT_EQ(px.Version(kFrameworkVersion), kFrameworkVersion);
  ExchangeFrameworkProps(px, props, kDefaults);
  return props;
}

// The block as docs/persistence.md lays it out, byte by byte.
TEST(FrameworkProps, BlockLayout) {
  FrameworkProps props{-5,
                       6,
                       "Hi",
                       0x000000FF,
                       0x80000005,
                       {.name = "Mono",
                        .size = 12,
                        .weight = 700,
                        .charset = 2,
                        .italic = true,
                        .strikethrough = true},
                       1,
                       false};
  Bytes out;
  Archive ar(out);
  ArchivePropExchange px(ar);
  px.Version(kFrameworkVersion);
  ExchangeFrameworkProps(px, props, kDefaults);
  px.Finish();
  ByteWriter fields;
  fields.U32(0xFFFFFFFB).U32(6).U32(0x3F).U8(2).Text("Hi").U32(0xFF).U32(0x80000005);
  fields.U8(4).Text("Mono").U32(120000).U32(0).U16(700).U8(1).U8(0).U8(1).U16(2);
  fields.U16(1).U8(0);
  ASSERT_EQ(fields.Size(), 46u);
  EXPECT_EQ(out, ByteWriter().U32(0x00010000).U32(46).Append(fields.Get()).Take());
  EXPECT_EQ(LoadBlock(out), props);
}

TEST(FrameworkProps, PropertiesLeftOutOfTheStoredSetTakeTheirDefaults) {
  // Only the back colour and the border style are stored, one after the other.
  const Bytes fields = ByteWriter().U32(10).U32(20).U32(0x14).U32(0x00ABCDEF).U16(1).Take();
  FrameworkProps expected = kDefaults;
  expected.extentX = 10;
  expected.extentY = 20;
  expected.backColor = 0x00ABCDEF;
  expected.borderStyle = 1;
  EXPECT_EQ(LoadBlock(ByteWriter().U32(0x00010000).U32(18).Append(fields).Take()), expected);

  std::optional<MemoryPropertyBag> bag =
      ParsePropertyText("_StockProps = 1\nCaption = \"kept\"\nEnabled = false\n", nullptr);
  ASSERT_TRUE(bag.has_value());
  BagPropExchange px(static_cast<const PropertyBag&>(*bag));
  FrameworkProps props;
  ExchangeFrameworkProps(px, props, kDefaults);
  expected = kDefaults;
  expected.caption = "kept";
  EXPECT_EQ(props, expected);
}

}  // namespace
}  // namespace pelmor::ole
