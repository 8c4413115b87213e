#include "control/user_settings.h"

#include "platform/registry_store.h"

namespace pelmor {

namespace {

// The current user's part of the registry store. Each question reads the store afresh, so that
// colours changed while a program runs are seen at the next setting change; a store that is
// missing, unreadable or damaged holds no keys.
class StoreUserSettings : public UserSettings {
 public:
  bool KeyExists(std::string_view key) const override {
    const auto tree = ReadStore();
    return tree && tree->KeyExists(platform::RegistryRoot::kCurrentUser, key);
  }
  std::optional<std::string> Value(std::string_view key, std::string_view name) const override {
    const auto tree = ReadStore();
    if (!tree) return std::nullopt;
    return tree->GetValue(platform::RegistryRoot::kCurrentUser, key, name);
  }

 private:
  static std::optional<platform::RegistryTree> ReadStore() {
    std::string error;
    const auto path = platform::DefaultRegistryPath(error);
    if (!path) return std::nullopt;
    return platform::ReadRegistry(*path, error);
  }
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
  static const StoreUserSettings settings;
  return settings;
}

}  // namespace pelmor
