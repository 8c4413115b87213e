// How byte strings become characters: UTF-8 when the bytes form it, otherwise one Latin-1
// character per byte.
#pragma once

#include <string>
#include <string_view>

namespace pelmor::platform {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

std::u32string DecodeText(std::string_view bytes);

// UTF-16 text as the module's narrow text, UTF-8. A lone low surrogate U+DC80..U+DCFF stands for
// the byte 0x80..0xFF that could not be decoded when the text was widened, and becomes that byte
// again; any other unpaired surrogate becomes U+FFFD.
std::string NarrowFromUtf16(std::u16string_view text);

}  // namespace pelmor::platform
