#include "platform/ole/archive.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "test_support.h"

namespace pelmor::ole {
namespace {

using test::Bytes;
using test::ByteWriter;

Bytes Stored(void (*store)(Archive&)) {
  Bytes out;
  Archive ar(out);
  store(ar);
  return out;
}

Bytes LengthPrefix(uint64_t n) {
  Bytes out;
  Archive ar(out);
  ar.WriteStringLength(n);
  return out;
}

// Reads one string; the error it failed with otherwise.
struct ReadResult {
  std::optional<std::string> text;
  std::optional<ArchiveError> error;
  size_t left = 0;
};

ReadResult ReadOne(const Bytes& bytes) {
  CByteReader in(bytes.data(), bytes.size());
  Archive ar(in);
  ReadResult r;
  try {
    r.text = ar.ReadString();
  } catch (const ArchiveException& e) {
    r.error = e.Cause();
  }
  r.left = in.Remaining();
  return r;
}

TEST(Archive, IntegersAreLittleEndian) {
  const Bytes bytes = Stored([](Archive& ar) {
    ar << uint8_t{0x01} << int16_t{-2} << uint32_t{0x04030201} << int32_t{-1}
       << int64_t{0x0807060504030201};
  });
  EXPECT_EQ(bytes, (Bytes{0x01, 0xFE, 0xFF, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x01,
                          0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));
  CByteReader in(bytes.data(), bytes.size());
  Archive ar(in);
  uint8_t a = 0;
  int16_t b = 0;
  uint32_t c = 0;
  int32_t d = 0;
  int64_t e = 0;
  ar >> a >> b >> c >> d >> e;
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, -2);
  EXPECT_EQ(c, 0x04030201u);
  EXPECT_EQ(d, -1);
  EXPECT_EQ(e, 0x0807060504030201);
  EXPECT_THROW(ar.ReadU8(), ArchiveException);
}

// The writer's count forms at each boundary.
struct LengthForm {
  uint64_t n;
  Bytes prefix;
};

class ArchiveLengthForms : public testing::TestWithParam<LengthForm> {};

TEST_P(ArchiveLengthForms, WritesTheFirstFormThatFits) {
  EXPECT_EQ(LengthPrefix(GetParam().n), GetParam().prefix);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ArchiveLengthForms,
    testing::Values(LengthForm{0, {0x00}}, LengthForm{254, {0xFE}},
                    LengthForm{255, {0xFF, 0xFF, 0x00}}, LengthForm{300, {0xFF, 0x2C, 0x01}},
                    LengthForm{65533, {0xFF, 0xFD, 0xFF}},
                    LengthForm{65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
                    LengthForm{0xFFFFFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}},
                    LengthForm{0xFFFFFFFF,
                               {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0x00, 0x00, 0x00, 0x00}}));

TEST(Archive, StringsOfEveryFormReadBackAsWritten) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{254}, size_t{255}, size_t{300}, size_t{65533},
                   size_t{65534}, size_t{70000}}) {
    std::string text(n, 'x');
    for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>('a' + i % 26);
    Bytes bytes;
    Archive(bytes).WriteString(text);
    bytes.push_back(0x5A);  // whatever follows stays in the stream
    const ReadResult r = ReadOne(bytes);
    ASSERT_TRUE(r.text.has_value()) << n;
    EXPECT_EQ(*r.text, text);
    EXPECT_EQ(r.left, 1u);
  }
}

Bytes Utf16(std::u16string_view text) {
  ByteWriter w;
  for (char16_t c : text) w.U16(c);
  return w.Take();
}

// Streams a reader meets: every count form, the 16-bit form, NULs, and counts it refuses.
struct StringCase {
  const char* name;
  Bytes bytes;
  std::optional<std::string> text;  // nullopt: fails with `error`
  ArchiveError error = ArchiveError::kEndOfFile;
  size_t left = 0;
};

std::vector<StringCase> StringCases() {
  const Bytes abc = Utf16(u"abc");
  return {
      {"short form", ByteWriter().U8(3).Text("abc").Take(), "abc"},
      {"uint32 form for a short string",
       ByteWriter().U8(0xFF).U16(0xFFFF).U32(3).Text("abc").Take(), "abc"},
      {"uint64 form for a short string",
       ByteWriter().U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).U32(3).U32(0).Text("abc").Take(), "abc"},
      {"16-bit characters", ByteWriter().U8(0xFF).U16(0xFFFE).U8(3).Append(abc).Take(), "abc"},
      {"16-bit characters, uint32 count",
       ByteWriter().U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFF).U32(3).Append(abc).Take(), "abc"},
      {"16-bit characters outside ASCII",
       ByteWriter().U8(0xFF).U16(0xFFFE).U8(4).Append(Utf16(u"\u00e9\u20ac\U0001F600")).Take(),
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"lone surrogates for raw bytes become the bytes",
       ByteWriter().U8(0xFF).U16(0xFFFE).U8(3).Append(Utf16(u"a\xDC80\xDCFF")).Take(), "a\x80\xFF"},
      {"other lone surrogates are replaced",
       ByteWriter()
           .U8(0xFF)
           .U16(0xFFFE)
           .U8(3)
           .Append(Utf16(u"\xD800"
                         u"a\xDC7F"))
           .Take(),
       "\xEF\xBF\xBD"
       "a\xEF\xBF\xBD"},
      {"a NUL ends the text; the rest is read",
       ByteWriter().U8(5).Text("ab").U8(0).Text("cd").U8(7).Take(), "ab", ArchiveError::kEndOfFile,
       1},
      {"a NUL character ends 16-bit text",
       ByteWriter().U8(0xFF).U16(0xFFFE).U8(3).Append(Utf16(std::u16string(u"a\0b", 3))).Take(),
       "a"},
      {"16-bit text with an odd byte count",
       ByteWriter().U8(0xFF).U16(0xFFFE).U8(3).Fill(5, 0x41).Take(), std::nullopt,
       ArchiveError::kEndOfFile, 5},
      {"a count past the end", ByteWriter().U8(10).Text("abc").Take(), std::nullopt,
       ArchiveError::kEndOfFile, 3},
      {"a 4 GiB count in a short stream",
       ByteWriter().U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFE).Fill(20, 0x41).Take(), std::nullopt,
       ArchiveError::kEndOfFile, 20},
      {"8 GiB of 16-bit characters in a short stream",
       ByteWriter().U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFE).Fill(20, 0x41).Take(),
       std::nullopt, ArchiveError::kEndOfFile, 20},
      {"the largest 64-bit count in a short stream",
       ByteWriter()
           .U8(0xFF)
           .U16(0xFFFF)
           .U32(0xFFFFFFFF)
           .U32(0x7FFFFFFF)
           .U32(0)
           .Fill(20, 0x41)
           .Take(),
       std::nullopt, ArchiveError::kEndOfFile, 20},
      {"a 64-bit count above 0x7FFFFFFF",
       ByteWriter()
           .U8(0xFF)
           .U16(0xFFFF)
           .U32(0xFFFFFFFF)
           .U32(0x80000000)
           .U32(0)
           .Fill(20, 0x41)
           .Take(),
       std::nullopt, ArchiveError::kGeneric, 20},
      {"a 64-bit count that wraps to a small one",
       ByteWriter().U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).U32(3).U32(1).Text("abc").Take(),
       std::nullopt, ArchiveError::kGeneric, 3},
  };
}

TEST(Archive, ReadsEveryStringFormAndRefusesBadCounts) {
  for (const StringCase& c : StringCases()) {
    SCOPED_TRACE(c.name);
    const ReadResult r = ReadOne(c.bytes);
    EXPECT_EQ(r.text, c.text);
    if (!c.text) {
      EXPECT_EQ(r.error, c.error);
    }
    EXPECT_EQ(r.left, c.left);
  }
}

TEST(Archive, TheSecondFffeAfterTheTagIsACount) {
  ByteWriter w;
  w.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFE);
  for (int i = 0; i < 65534; ++i) w.U16('q');
  const ReadResult r = ReadOne(w.Take());
  ASSERT_TRUE(r.text.has_value());
  EXPECT_EQ(*r.text, std::string(65534, 'q'));
}

TEST(Archive, EveryTruncationOfAValidStringIsAnEndOfFile) {
  for (const StringCase& c : StringCases()) {
    if (!c.text || c.left != 0) continue;
    SCOPED_TRACE(c.name);
    for (size_t cut = 0; cut < c.bytes.size(); ++cut) {
      const ReadResult r = ReadOne(Bytes(c.bytes.begin(), c.bytes.begin() + cut));
      EXPECT_FALSE(r.text.has_value()) << cut;
      EXPECT_EQ(r.error, ArchiveError::kEndOfFile) << cut;
    }
  }
}

}  // namespace
}  // namespace pelmor::ole
