// PackBits run-length decoding (the byte-oriented scheme of TIFF 6.0, compression 32773). Knows
// nothing of images: bytes in, bytes out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmor {

// Expands n compressed bytes into out (capacity outSize) and returns the number of bytes written.
// A header byte h of 0..127 copies the next h + 1 bytes, -127..-1 repeats the next byte 1 - h
// times, -128 is skipped. Decoding stops silently, without writing any part of it, at the first
// run that would overflow out or needs more input than there is; bytes past the returned count
// are left untouched.
size_t UnpackBits(const uint8_t* in, size_t n, uint8_t* out, size_t outSize);

}  // namespace pelmor
