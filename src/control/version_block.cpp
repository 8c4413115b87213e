#include "control/version_block.h"

#include <cstring>

#include "platform/byte_reader.h"

namespace pelmor {

namespace {

constexpr size_t kHeaderSize = 6;

size_t AlignUp4(size_t v) { return (v + 3) & ~size_t{3}; }

struct Node {
  std::string_view key;
  size_t valueOffset = 0;
  size_t valueLength = 0;
  bool text = false;
  size_t childrenOffset = 0;  // first child (may equal end)
  size_t end = 0;             // one past the node
};

// The node at offset, which must lie inside [offset, limit) with all its parts.
std::optional<Node> ReadNode(std::span<const uint8_t> block, size_t offset, size_t limit) {
  CByteReader r(block.data(), limit);
  uint16_t length = 0, valueLength = 0, type = 0;
  if (!r.Seek(offset) || !r.ReadU16LE(length) || !r.ReadU16LE(valueLength) || !r.ReadU16LE(type)) {
    return std::nullopt;
  }
  if (length < kHeaderSize || length > limit - offset || type > 1) return std::nullopt;
  Node node;
  node.end = offset + length;
  node.text = type == 1;
  const uint8_t* keyStart = block.data() + offset + kHeaderSize;
  const void* nul = std::memchr(keyStart, 0, node.end - (offset + kHeaderSize));
  if (nul == nullptr) return std::nullopt;
  const size_t keyLength = static_cast<const uint8_t*>(nul) - keyStart;
  node.key = std::string_view(reinterpret_cast<const char*>(keyStart), keyLength);
  node.valueOffset = AlignUp4(offset + kHeaderSize + keyLength + 1);
  node.valueLength = valueLength;
  if (node.valueOffset > node.end || node.valueLength > node.end - node.valueOffset) {
    // A node without a value may end right after its key, before the padding.
    if (node.valueLength != 0) return std::nullopt;
    node.valueOffset = node.end;
  }
  node.childrenOffset = std::min(AlignUp4(node.valueOffset + node.valueLength), node.end);
  return node;
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The child of parent named key.
std::optional<Node> FindChild(std::span<const uint8_t> block, const Node& parent, std::string_view key) {
  size_t pos = parent.childrenOffset;
  while (pos < parent.end) {
    const std::optional<Node> child = ReadNode(block, pos, parent.end);
    if (!child) return std::nullopt;
    if (SameKey(child->key, key)) return child;
    pos = AlignUp4(child->end);  // every node is at least a header long, so this moves on
  }
  return std::nullopt;
}

std::optional<Node> FindNode(std::span<const uint8_t> block, std::string_view path) {
  std::optional<Node> node = ReadNode(block, 0, block.size());
  size_t start = 0;
  while (node && start < path.size()) {
    const size_t end = std::min(path.find('\\', start), path.size());
    const std::string_view key = path.substr(start, end - start);
    if (!key.empty()) node = FindChild(block, *node, key);
    start = end + 1;
  }
  return node;
}

}  // namespace

std::optional<std::span<const uint8_t>> QueryVersionValue(std::span<const uint8_t> block,
                                                          std::string_view path) {
  const std::optional<Node> node = FindNode(block, path);
  if (!node) return std::nullopt;
  return block.subspan(node->valueOffset, node->valueLength);
}

std::optional<std::string> QueryVersionText(std::span<const uint8_t> block, std::string_view path) {
  const std::optional<Node> node = FindNode(block, path);
  if (!node || !node->text) return std::nullopt;
  const auto* text = reinterpret_cast<const char*>(block.data() + node->valueOffset);
  return std::string(text, strnlen(text, node->valueLength));
}

std::optional<Translation> FirstTranslation(std::span<const uint8_t> block) {
  const auto value = QueryVersionValue(block, "\\VarFileInfo\\Translation");
  if (!value || value->size() < 4) return std::nullopt;
  return Translation{LoadU16LE(value->data()), LoadU16LE(value->data() + 2)};
}

}  // namespace pelmor
