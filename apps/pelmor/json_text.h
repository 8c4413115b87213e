// JSON output for the command line: metadata bytes become JSON strings.
#pragma once

#include <optional>
#include <string>

namespace pelmor::cli {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& bytes);

// The bytes as text: UTF-8 when valid, otherwise each byte as the Latin-1 character of that code.
std::string BytesAsUtf8(const std::string& bytes);

// A JSON string literal (with quotes) for the bytes read as above, or null.
std::string JsonString(const std::optional<std::string>& bytes);

}  // namespace pelmor::cli
