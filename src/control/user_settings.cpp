#include "control/user_settings.h"

#include <cstdlib>
#include <vector>

#include "platform/file.h"

namespace pelmor {

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

constexpr size_t kMaxSettingsFile = 1 << 20;

// Settings kept in a small text file named by PELMOR_USER_SETTINGS: "[key]" lines open a key,
// "name=value" lines set its values. Names compare without regard to ASCII case.
class FileUserSettings : public UserSettings {
 public:
  FileUserSettings() {
    const char* path = std::getenv("PELMOR_USER_SETTINGS");
    std::string text;
    if (path == nullptr || !platform::ReadWholeFile(path, text) || text.size() > kMaxSettingsFile) {
      return;
    }
    std::string key;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        key = std::string(line.substr(1, line.size() - 2));
        keys_.push_back(key);
        continue;
      }
      const size_t eq = line.find('=');
      if (key.empty() || eq == std::string_view::npos) continue;
      values_.push_back({key, std::string(line.substr(0, eq)), std::string(line.substr(eq + 1))});
    }
  }
  bool KeyExists(std::string_view key) const override {
    for (const std::string& k : keys_) {
      if (SameName(k, key)) return true;
    }
    return false;
  }
  std::optional<std::string> Value(std::string_view key, std::string_view name) const override {
    for (const Entry& e : values_) {
      if (SameName(e.key, key) && SameName(e.name, name)) return e.value;
    }
    return std::nullopt;
  }

 private:
  struct Entry {
    std::string key, name, value;
  };
  std::vector<std::string> keys_;
  std::vector<Entry> values_;
};

}  // namespace

bool MemoryUserSettings::KeyExists(std::string_view key) const {
  if (keys_.find(key) != keys_.end()) return true;
  for (const auto& [k, v] : values_) {
    if (k.first == key) return true;
  }
  return false;
}

std::optional<std::string> MemoryUserSettings::Value(std::string_view key, std::string_view name) const {
  for (const auto& [k, v] : values_) {
    if (k.first == key && k.second == name) return v;
  }
  return std::nullopt;
}

const UserSettings& RegistryUserSettings() {
  static const FileUserSettings settings;
  return settings;
}

}  // namespace pelmor
