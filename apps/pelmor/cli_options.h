// Parsing of the command line shared by the pelmor commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmor::cli {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitNotOpened = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSaveFailed = 3;
// register, unregister, script: the step failed (a failure code, a module that did not load).
constexpr int kExitFailed = 1;

// A usage error: the message goes to stderr and the program exits with kExitUsage.
struct UsageError {
  std::string message;
};

// Splits arguments into positional ones and "--name value" / "--flag" options. Options named in
// `flags` take no value; every other option takes the next argument.
class Arguments {
 public:
  Arguments(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
            const std::vector<std::string>& flags);

  const std::vector<std::string>& Positional() const { return positional_; }
  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;

  // Typed values; a malformed value throws UsageError.
  int32_t IntOr(const std::string& name, int32_t fallback) const;
  float FloatOr(const std::string& name, float fallback) const;
  // "RRGGBB" as a colour reference 0x00BBGGRR.
  uint32_t ColorOr(const std::string& name, uint32_t fallback) const;

 private:
  std::vector<std::string> positional_;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> flags_;
};

// Parses "RRGGBB" (six hex digits) into a colour reference 0x00BBGGRR.
std::optional<uint32_t> ParseColor(const std::string& text);

}  // namespace pelmor::cli
