// How byte strings become characters: UTF-8 when the bytes form it, otherwise one Latin-1
// character per byte.
#pragma once

#include <string>
#include <string_view>

namespace pelmor::platform {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

std::u32string DecodeText(std::string_view bytes);

}  // namespace pelmor::platform
