// The registry as a tree of keys in memory: two roots (the classes root and the current user's),
// keys named by backslash-separated paths, and under each key an optional default value and
// named string values. Names are kept as given but compared without regard to ASCII case, as the
// window system's registry does. The tree reads and writes its text form (RegistryTree::Parse,
// Serialize), which refuses anything damaged instead of guessing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmor::platform {

enum class RegistryRoot : uint8_t { kClassesRoot, kCurrentUser };

// "HKEY_CLASSES_ROOT" or "HKEY_CURRENT_USER".
const char* RegistryRootName(RegistryRoot root);

// Limits on what the tree holds; a longer name or value is refused.
inline constexpr size_t kRegistryMaxKeyName = 255;      // one part of a key path
inline constexpr size_t kRegistryMaxKeyDepth = 64;      // parts in a key path
inline constexpr size_t kRegistryMaxValueName = 16383;
inline constexpr size_t kRegistryMaxValueData = 1 << 20;

class RegistryTree {
 public:
  // Creates the key and any missing parents. False for an empty path or a part that is empty,
  // too long, or holds a control character.
  bool CreateKey(RegistryRoot root, std::string_view path);
  bool KeyExists(RegistryRoot root, std::string_view path) const;
  // Removes the key and everything below it; false when there was no such key.
  bool DeleteKey(RegistryRoot root, std::string_view path);
  // Sets a string value ("" names the key's default value), creating the key when needed. False
  // for a bad key path or a name or data that is too long.
  bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                std::string_view data);
  // A value of a key ("" for the default value); nothing when the key or the value is absent.
  std::optional<std::string> GetValue(RegistryRoot root, std::string_view path,
                                      std::string_view name) const;
  // True when the key exists and holds no value and no subkey.
  bool KeyIsEmpty(RegistryRoot root, std::string_view path) const;
  // The names of the key's direct subkeys, in the tree's order.
  std::vector<std::string> SubKeyNames(RegistryRoot root, std::string_view path) const;
  size_t KeyCount() const { return keys_.size(); }

  // The text form: a first line naming the format, one section per key, a last line counting the
  // sections, so that a file cut short anywhere is recognised.
  std::string Serialize() const;
  // The tree of a text form; nothing, with a reason naming the line, when the text is damaged.
  static std::optional<RegistryTree> Parse(std::string_view text, std::string& error);

  bool operator==(const RegistryTree& other) const;

 private:
  struct Key {
    std::string path;  // "ROOT\part\part" as first written
    std::optional<std::string> defaultValue;
    std::vector<std::pair<std::string, std::string>> values;  // named values, in order of creation
    bool operator==(const Key&) const = default;
  };
  Key* Find(RegistryRoot root, std::string_view path);
  const Key* Find(RegistryRoot root, std::string_view path) const;
  Key& Create(const std::string& fullPath);  // the key of a checked full path, parents first

  std::map<std::string, Key> keys_;  // by the full path folded to lower case
};

}  // namespace pelmor::platform
