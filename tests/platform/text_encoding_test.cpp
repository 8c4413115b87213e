// Byte strings through UTF-16 and back: valid UTF-8 becomes characters, every other byte a lone
// surrogate that turns back into the same byte.
#include <gtest/gtest.h>

#include <random>

#include "platform/text_encoding.h"

namespace pelmor::platform {
namespace {

TEST(TextEncoding, CutsBetweenCharacters) {
  const struct {
    std::string bytes;
    size_t limit;
    std::string cut;
  } cases[] = {
      {"abc", 5, "abc"},
      {"abc", 3, "abc"},
      {"abc", 2, "ab"},
      {"ab\xC3\xA9", 3, "ab"},   // a two-byte character is kept whole or left out
      {"a\U0001F600b", 4, "a"},  // so is a four-byte one
      {"a\U0001F600b", 5, "a\U0001F600"},
      {"ab\xE9\xE9", 3, "ab\xE9"},    // Latin-1 bytes are characters of their own
      {"a\x80\x80\x80", 2, "a\x80"},  // and so are stray continuation bytes
      {"ab\xE2\x82", 3, "ab\xE2"},    // a sequence cut short is no character
      {"\xC3\xA9", 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CutAtCharacter(c.bytes, c.limit), c.cut) << c.bytes;
}

TEST(TextEncoding, BytesSurviveUtf16) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"", u""},
      {"plain.gif", u"plain.gif"},
      {"caf\xC3\xA9", u"caf\u00E9"},                     // valid UTF-8
      {"caf\xE9.gif", u"caf\xDCE9.gif"},                 // a Latin-1 byte
      {"\xF0\x9F\x98\x80", u"\U0001F600"},               // four bytes: a surrogate pair
      {"\xC0\xAF", u"\xDCC0\xDCAF"},                     // overlong form
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
      {"\xE2\x82", u"\xDCE2\xDC82"},                     // cut short
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16FromBytes(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(BytesFromUtf16(c.text), c.bytes) << c.bytes;
  }
  // Lone surrogates no byte string makes stand for the replacement character.
  EXPECT_EQ(BytesFromUtf16(u"\xD800x\xDC10"), "\xEF\xBF\xBDx\xEF\xBF\xBD");

  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(rng() % 12, '\0');
    for (char& b : bytes) b = static_cast<char>(rng() % 4 == 0 ? 0x80 + rng() % 0x80 : rng() % 256);
    ASSERT_EQ(BytesFromUtf16(Utf16FromBytes(bytes)), bytes);
  }
}

}  // namespace
}  // namespace pelmor::platform
