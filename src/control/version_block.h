// The module's version block: its fixed version numbers and named texts (description, version,
// copyright, ...) in a tree of nodes, as a file version resource keeps them, with a translation
// table naming the (language, code page) pairs whose texts it holds. The build writes one into the
// module (BuildVersionBlock runs at compile time); the About box reads it back from the module's
// file and queries it by path ("\VarFileInfo\Translation", "\StringFileInfo\0409FDE9\FileVersion").
//
// A node is: u16 length of the whole node with its children, u16 value length (bytes; for a text
// value its terminating NUL included), u16 type (0 binary, 1 text), the key in bytes with a NUL,
// padding to a multiple of 4 from the block's start, the value, padding to 4, then the children.
// Numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelmor {

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr size_t kFixedFileInfoSize = 52;

struct VersionText {
  std::string_view name;
  std::string_view value;
};

struct VersionBlockContents {
  uint16_t fileVersion[4] = {0, 0, 0, 0};  // major, minor, patch, build
  uint16_t language = 0x0409;
  uint16_t codePage = 0xFDE9;  // UTF-8, the module's narrow encoding
  std::span<const VersionText> texts;
};

namespace version_block_detail {

constexpr void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
constexpr void Append16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
constexpr void Append32(std::vector<uint8_t>& out, uint32_t v) {
  Append16(out, v & 0xFFFF);
  Append16(out, v >> 16);
}
constexpr void Align4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// Starts a node: header, key and padding, then the value is appended by the caller. Returns where
// the node starts, for EndNode.
constexpr size_t BeginNode(std::vector<uint8_t>& out, std::string_view key, size_t valueLength,
                           bool text) {
  Align4(out);
  const size_t start = out.size();
  Append16(out, 0);
  Append16(out, static_cast<uint32_t>(valueLength));
  Append16(out, text ? 1 : 0);
  for (const char c : key) out.push_back(static_cast<uint8_t>(c));
  out.push_back(0);
  Align4(out);
  return start;
}

// Ends a node begun at start: false when it grew beyond what its length field holds.
constexpr bool EndNode(std::vector<uint8_t>& out, size_t start) {
  const size_t length = out.size() - start;
  if (length > 0xFFFF) return false;
  Put16(out, start, static_cast<uint32_t>(length));
  return true;
}

constexpr char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

}  // namespace version_block_detail

// The translation key of a (language, code page) pair: two four-digit upper-case hexadecimal
// numbers, "0409FDE9". Kept in a plain array so that the block can be built at compile time by
// compilers whose std::string is not usable there.
constexpr std::array<char, 8> TranslationKeyChars(uint16_t language, uint16_t codePage) {
  std::array<char, 8> key{};
  for (int i = 0; i < 4; ++i) {
    key[3 - i] = version_block_detail::HexDigit(language >> (4 * i));
    key[7 - i] = version_block_detail::HexDigit(codePage >> (4 * i));
  }
  return key;
}
inline std::string TranslationKey(uint16_t language, uint16_t codePage) {
  const std::array<char, 8> key = TranslationKeyChars(language, codePage);
  return std::string(key.data(), key.size());
}

// The whole block for contents; empty when a node would not fit its 16-bit length.
constexpr std::vector<uint8_t> BuildVersionBlock(const VersionBlockContents& contents) {
  using namespace version_block_detail;
  std::vector<uint8_t> out;
  const size_t root = BeginNode(out, "VS_VERSION_INFO", kFixedFileInfoSize, false);
  const uint32_t ms = static_cast<uint32_t>(contents.fileVersion[0]) << 16 | contents.fileVersion[1];
  const uint32_t ls = static_cast<uint32_t>(contents.fileVersion[2]) << 16 | contents.fileVersion[3];
  Append32(out, kFixedFileInfoSignature);
  Append32(out, 0x00010000);  // structure version 1.0
  Append32(out, ms);          // file version
  Append32(out, ls);
  Append32(out, ms);  // product version
  Append32(out, ls);
  Append32(out, 0x3F);  // flags mask
  Append32(out, 0);     // flags
  Append32(out, 0);     // operating system: unknown
  Append32(out, 2);     // file type: a library
  Append32(out, 0);     // subtype
  Append32(out, 0);     // date
  Append32(out, 0);

  const size_t strings = BeginNode(out, "StringFileInfo", 0, true);
  const std::array<char, 8> key = TranslationKeyChars(contents.language, contents.codePage);
  const size_t table = BeginNode(out, std::string_view(key.data(), key.size()), 0, true);
  for (const VersionText& t : contents.texts) {
    const size_t node = BeginNode(out, t.name, t.value.size() + 1, true);
    for (const char c : t.value) out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
    if (!EndNode(out, node)) return {};
  }
  if (!EndNode(out, table) || !EndNode(out, strings)) return {};

  const size_t vars = BeginNode(out, "VarFileInfo", 0, true);
  const size_t translation = BeginNode(out, "Translation", 4, false);
  Append16(out, contents.language);
  Append16(out, contents.codePage);
  if (!EndNode(out, translation) || !EndNode(out, vars)) return {};
  if (!EndNode(out, root)) return {};
  Align4(out);
  return out;
}

// The value at a path of keys separated by backslashes ("\" alone is the root's value, the fixed
// information), keys compared without regard to ASCII case. Nothing when a key is missing or the
// block is damaged anywhere along the way; the span points into block.
std::optional<std::span<const uint8_t>> QueryVersionValue(std::span<const uint8_t> block,
                                                          std::string_view path);
// A text value: the bytes before its first NUL. Nothing when absent or not a text node.
std::optional<std::string> QueryVersionText(std::span<const uint8_t> block, std::string_view path);

struct Translation {
  uint16_t language;
  uint16_t codePage;
};
// The first entry of "\VarFileInfo\Translation"; nothing when the table is absent or empty.
std::optional<Translation> FirstTranslation(std::span<const uint8_t> block);

}  // namespace pelmor
