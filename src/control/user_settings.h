// The current user's settings the controls read (the browser's link colours): string values under
// keys of the user's part of the registry store. The store comes from the module's registration
// support; tests hand in their own.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pelmor {

class UserSettings {
 public:
  virtual ~UserSettings() = default;
  // Whether the key can be opened for reading values.
  virtual bool KeyExists(std::string_view key) const = 0;
  // A named string value of the key; nothing when the key or the value is absent.
  virtual std::optional<std::string> Value(std::string_view key, std::string_view name) const = 0;
};

// Settings held in memory: what tests and hosts without a store use.
class MemoryUserSettings : public UserSettings {
 public:
  void Set(std::string key, std::string name, std::string value) {
    values_[{std::move(key), std::move(name)}] = std::move(value);
  }
  void AddKey(std::string key) { keys_[std::move(key)] = true; }
  bool KeyExists(std::string_view key) const override;
  std::optional<std::string> Value(std::string_view key, std::string_view name) const override;

 private:
  std::map<std::pair<std::string, std::string>, std::string, std::less<>> values_;
  std::map<std::string, bool, std::less<>> keys_;
};

// The current user's settings from the registry store (where platform::DefaultRegistryPath says),
// read afresh at each question; a missing or damaged store holds nothing.
const UserSettings& RegistryUserSettings();

}  // namespace pelmor
