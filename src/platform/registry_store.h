// The registry kept in one file: where it lives, reading it, and changing it safely. Changes take
// a lock file beside the store (so two registrations never interleave), read the store, and
// write the new text to a temporary file in the same folder that then replaces the store in one
// rename, so a reader sees either the old or the new store and a crash leaves one of the two. A
// store that does not read back as a registry is refused with a reason and never replaced.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry_tree.h"

namespace pelmor::platform {

// The environment variable that names the store file, overriding the default location.
inline constexpr const char* kRegistryPathVariable = "PELMOR_REGISTRY";

// Where the store is: $PELMOR_REGISTRY when set and not empty, else $XDG_DATA_HOME/pelmor/registry
// (XDG_DATA_HOME when absolute, else $HOME/.local/share). Nothing, with a reason, when neither
// the variable nor a home folder is there.
std::optional<std::string> DefaultRegistryPath(std::string& error);

// The store's file is refused beyond this size.
inline constexpr size_t kRegistryMaxFileSize = 64u << 20;

// The tree in the store at path: empty when there is no file (or no folder) yet; nothing, with a
// reason, when it cannot be read or is damaged.
std::optional<RegistryTree> ReadRegistry(const std::string& path, std::string& error);

// One value from the default store; nothing when the store, the key or the value is absent or
// the store cannot be read. For readers of settings (link colours and the like) that fall back to
// their own defaults.
std::optional<std::string> QueryRegistryValue(RegistryRoot root, std::string_view key,
                                              std::string_view name);

// A change to the store: Begin locks and reads it, the caller edits Tree(), Commit writes it back
// (it may be called more than once, each call a complete atomic write). The lock is released when
// the object goes away.
class RegistryTransaction {
 public:
  RegistryTransaction() = default;
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // Creates the store's folder when missing, takes the lock (waiting up to waitMs for another
  // holder to finish) and reads the store. False, with a reason, when any step fails.
  bool Begin(const std::string& path, std::string& error, int waitMs = 10000);
  RegistryTree& Tree() { return tree_; }
  // Writes the tree to the store atomically. False, with a reason, when it could not be written;
  // the store is then as it was.
  bool Commit(std::string& error);

 private:
  std::string path_;
  int lockFd_ = -1;
  RegistryTree tree_;
};

}  // namespace pelmor::platform
