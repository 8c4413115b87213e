// Dispatch values as JSON for the command line.
#pragma once

#include <string>
#include <string_view>

#include "platform/ole/variant.h"

namespace pelmor::cli {

// A JSON string literal of UTF-16 text: valid characters as UTF-8, lone surrogates (bytes that
// were not UTF-8 in a file name, for instance U+DCE9) as \udce9 escapes.
std::string JsonUtf16(std::u16string_view text);

// empty -> null; numbers as numbers (infinities and NaN as null); booleans; strings; an object as
// a JSON object of its readable properties by name; errors as null.
std::string VariantJson(const ole::Variant& value);

// The HRESULT as "0x" and eight upper-case hex digits.
std::string HresultText(ole::HRESULT hr);

}  // namespace pelmor::cli
