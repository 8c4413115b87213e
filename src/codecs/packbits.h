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

// The same expansion handed out piece by piece: Read gives the next bytes UnpackBits would write
// into a buffer of outSize bytes, stopping where it stops, without the buffer having to exist.
class PackBitsStream {
 public:
  PackBitsStream(const uint8_t* in, size_t n, size_t outSize) : in_(in), n_(n), outSize_(outSize) {}
  // Up to room bytes; fewer only once the expansion has ended.
  size_t Read(uint8_t* dst, size_t room);

 private:
  const uint8_t* in_;
  size_t n_;
  size_t outSize_;
  size_t p_ = 0;
  size_t o_ = 0;  // bytes of the runs taken so far
  size_t literal_ = 0;  // bytes of the current literal run still to hand out
  size_t repeat_ = 0;   // copies of value_ still to hand out
  uint8_t value_ = 0;
  bool ended_ = false;
};

}  // namespace pelmor
