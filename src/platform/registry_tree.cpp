#include "platform/registry_tree.h"

#include <charconv>

namespace pelmor::platform {

namespace {

constexpr std::string_view kHeader = "pelmor registry 1";
constexpr std::string_view kFooter = "end ";

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Fold(c);
  return out;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// "ROOT\path" when every part of the path is a usable key name; nothing otherwise.
std::optional<std::string> FullPath(RegistryRoot root, std::string_view path) {
  if (path.empty()) return std::nullopt;
  size_t depth = 0;
  size_t start = 0;
  while (true) {
    const size_t end = std::min(path.find('\\', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part.size() > kRegistryMaxKeyName || ++depth > kRegistryMaxKeyDepth) {
      return std::nullopt;
    }
    for (const char c : part) {
      if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
    }
    if (end == path.size()) break;
    start = end + 1;
  }
  return std::string(RegistryRootName(root)) + "\\" + std::string(path);
}

void AppendQuoted(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (IsControl(u)) {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted string at line[pos]; pos ends after the closing quote.
bool ReadQuoted(std::string_view line, size_t& pos, size_t maxSize, std::string& out) {
  out.clear();
  if (pos >= line.size() || line[pos] != '"') return false;
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (IsControl(static_cast<unsigned char>(c)) || out.size() >= maxSize) return false;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return false;
    const char e = line[pos];
    if (e == '"' || e == '\\') {
      out += e;
    } else if (e == 'x' && pos + 2 < line.size() && HexValue(line[pos + 1]) >= 0 &&
               HexValue(line[pos + 2]) >= 0) {
      out += static_cast<char>(HexValue(line[pos + 1]) << 4 | HexValue(line[pos + 2]));
      pos += 2;
    } else {
      return false;
    }
  }
  return false;
}

std::optional<RegistryRoot> RootOfName(std::string_view name) {
  for (const RegistryRoot r : {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser}) {
    if (Folded(name) == Folded(RegistryRootName(r))) return r;
  }
  return std::nullopt;
}

}  // namespace

const char* RegistryRootName(RegistryRoot root) {
  return root == RegistryRoot::kClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

RegistryTree::Key* RegistryTree::Find(RegistryRoot root, std::string_view path) {
  const auto full = FullPath(root, path);
  if (!full) return nullptr;
  const auto it = keys_.find(Folded(*full));
  return it != keys_.end() ? &it->second : nullptr;
}

const RegistryTree::Key* RegistryTree::Find(RegistryRoot root, std::string_view path) const {
  return const_cast<RegistryTree*>(this)->Find(root, path);
}

RegistryTree::Key& RegistryTree::Create(const std::string& fullPath) {
  // Parents first, so that every key in the tree has its parent there too (the root itself is
  // not a key).
  const size_t firstSep = fullPath.find('\\');
  for (size_t sep = fullPath.find('\\', firstSep + 1); sep != std::string::npos;
       sep = fullPath.find('\\', sep + 1)) {
    const std::string parent = fullPath.substr(0, sep);
    keys_.try_emplace(Folded(parent), Key{parent, std::nullopt, {}});
  }
  return keys_.try_emplace(Folded(fullPath), Key{fullPath, std::nullopt, {}}).first->second;
}

bool RegistryTree::CreateKey(RegistryRoot root, std::string_view path) {
  const auto full = FullPath(root, path);
  if (!full) return false;
  Create(*full);
  return true;
}

bool RegistryTree::KeyExists(RegistryRoot root, std::string_view path) const {
  return Find(root, path) != nullptr;
}

bool RegistryTree::DeleteKey(RegistryRoot root, std::string_view path) {
  const auto full = FullPath(root, path);
  if (!full) return false;
  const std::string folded = Folded(*full);
  const auto it = keys_.find(folded);
  if (it == keys_.end()) return false;
  keys_.erase(it);
  // Everything below shares the prefix "key\" and so lies in one run of the map.
  const std::string prefix = folded + "\\";
  auto below = keys_.lower_bound(prefix);
  while (below != keys_.end() && below->first.compare(0, prefix.size(), prefix) == 0) {
    below = keys_.erase(below);
  }
  return true;
}

bool RegistryTree::SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                            std::string_view data) {
  const auto full = FullPath(root, path);
  if (!full || name.size() > kRegistryMaxValueName || data.size() > kRegistryMaxValueData) {
    return false;
  }
  Key& key = Create(*full);
  if (name.empty()) {
    key.defaultValue = std::string(data);
    return true;
  }
  const std::string folded = Folded(name);
  for (auto& [n, v] : key.values) {
    if (Folded(n) == folded) {
      v = std::string(data);
      return true;
    }
  }
  key.values.emplace_back(std::string(name), std::string(data));
  return true;
}

std::optional<std::string> RegistryTree::GetValue(RegistryRoot root, std::string_view path,
                                                  std::string_view name) const {
  const Key* key = Find(root, path);
  if (key == nullptr) return std::nullopt;
  if (name.empty()) return key->defaultValue;
  const std::string folded = Folded(name);
  for (const auto& [n, v] : key->values) {
    if (Folded(n) == folded) return v;
  }
  return std::nullopt;
}

bool RegistryTree::KeyIsEmpty(RegistryRoot root, std::string_view path) const {
  const Key* key = Find(root, path);
  return key != nullptr && !key->defaultValue && key->values.empty() &&
         SubKeyNames(root, path).empty();
}

std::vector<std::string> RegistryTree::SubKeyNames(RegistryRoot root, std::string_view path) const {
  std::vector<std::string> names;
  const Key* key = Find(root, path);
  if (key == nullptr) return names;
  const std::string prefix = Folded(key->path) + "\\";
  for (auto it = keys_.lower_bound(prefix);
       it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) == std::string::npos) {
      names.push_back(it->second.path.substr(prefix.size()));
    }
  }
  return names;
}

std::string RegistryTree::Serialize() const {
  std::string out(kHeader);
  out += '\n';
  for (const auto& [folded, key] : keys_) {
    out += '[';
    out += key.path;
    out += "]\n";
    if (key.defaultValue) {
      out += '@';
      out += '=';
      AppendQuoted(out, *key.defaultValue);
      out += '\n';
    }
    for (const auto& [name, value] : key.values) {
      AppendQuoted(out, name);
      out += '=';
      AppendQuoted(out, value);
      out += '\n';
    }
  }
  out += kFooter;
  out += std::to_string(keys_.size());
  out += '\n';
  return out;
}

std::optional<RegistryTree> RegistryTree::Parse(std::string_view text, std::string& error) {
  RegistryTree tree;
  Key* current = nullptr;
  size_t sections = 0;
  size_t lineNo = 0;
  bool ended = false;
  auto fail = [&](const std::string& why) -> std::optional<RegistryTree> {
    error = "line " + std::to_string(lineNo) + ": " + why;
    return std::nullopt;
  };
  size_t pos = 0;
  while (pos < text.size()) {
    ++lineNo;
    const size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) return fail("the file ends in the middle of a line");
    const std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (ended) return fail("text after the last line");
    if (lineNo == 1) {
      if (line != kHeader) return fail("not a registry file (no \"pelmor registry 1\" line)");
      continue;
    }
    if (line.empty()) continue;
    if (line.substr(0, kFooter.size()) == kFooter) {
      size_t count = 0;
      const std::string_view digits = line.substr(kFooter.size());
      const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
      if (ec != std::errc() || p != digits.data() + digits.size() || count != sections) {
        return fail("the closing line does not count the keys read");
      }
      ended = true;
      continue;
    }
    if (line.front() == '[') {
      if (line.size() < 3 || line.back() != ']') return fail("a key line without its ']'");
      const std::string_view full = line.substr(1, line.size() - 2);
      const size_t sep = full.find('\\');
      const auto root = RootOfName(full.substr(0, sep));
      if (!root || sep == std::string_view::npos) return fail("a key outside the known roots");
      const auto checked = FullPath(*root, full.substr(sep + 1));
      if (!checked) return fail("a key name that is empty, too long or holds control characters");
      const std::string folded = Folded(*checked);
      if (tree.keys_.count(folded) != 0) return fail("a key written twice");
      // The writer puts every key after its parent; a key without one was not written by it.
      const size_t last = folded.rfind('\\');
      if (last != folded.find('\\') && tree.keys_.count(folded.substr(0, last)) == 0) {
        return fail("a key before its parent");
      }
      current = &tree.keys_.emplace(folded, Key{*checked, std::nullopt, {}}).first->second;
      ++sections;
      continue;
    }
    if (current == nullptr) return fail("a value before the first key");
    size_t at = 0;
    std::string name;
    std::string data;
    if (line.front() == '@') {
      at = 1;
    } else if (!ReadQuoted(line, at, kRegistryMaxValueName, name) || name.empty()) {
      return fail("a value line without a quoted name");
    }
    if (at >= line.size() || line[at] != '=') return fail("a value line without '='");
    ++at;
    if (!ReadQuoted(line, at, kRegistryMaxValueData, data) || at != line.size()) {
      return fail("a value that is not one quoted string");
    }
    if (name.empty()) {
      if (current->defaultValue) return fail("a default value written twice");
      current->defaultValue = std::move(data);
      continue;
    }
    for (const auto& [n, v] : current->values) {
      if (Folded(n) == Folded(name)) return fail("a value written twice");
    }
    current->values.emplace_back(std::move(name), std::move(data));
  }
  if (lineNo == 0) {
    error = "the file is empty";
    return std::nullopt;
  }
  if (!ended) return fail("the file ends before its closing line");
  return tree;
}

bool RegistryTree::operator==(const RegistryTree& other) const { return keys_ == other.keys_; }

}  // namespace pelmor::platform
