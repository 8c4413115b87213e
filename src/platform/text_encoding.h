// How byte strings become characters: UTF-8 when the bytes form it, otherwise one Latin-1
// character per byte.
#pragma once

#include <string>
#include <string_view>

namespace pelmor::platform {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

std::u32string DecodeText(std::string_view bytes);

// Byte strings (file names above all) as UTF-16 and back, losslessly for the bytes: well-formed
// UTF-8 sequences become their characters, and every byte that is not part of one becomes the lone
// surrogate U+DC00 + byte (U+DC80 to U+DCFF), which BytesFromUtf16 turns back into that byte. Other
// lone surrogates, which no byte string produces, become U+FFFD. Both may throw std::bad_alloc.
std::u16string Utf16FromBytes(std::string_view bytes);
std::string BytesFromUtf16(std::u16string_view text);

// The longest start of bytes that is at most limit bytes long and splits no well-formed UTF-8
// sequence (a byte outside one is a character of its own, as in Utf16FromBytes).
std::string_view CutAtCharacter(std::string_view bytes, size_t limit);

// Appends one code point to out as UTF-8 (1 to 4 bytes).
void AppendUtf8(std::string& out, char32_t c);

}  // namespace pelmor::platform
