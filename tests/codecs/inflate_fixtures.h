// Deflate fixtures: a bit writer for hand-made streams, and a deliberately plain bit-at-a-time
// inflater (one bit per read, linear code search, byte-by-byte copies) that the fast one must
// match byte for byte and failure for failure.
#pragma once

#include <cstdint>
#include <optional>

#include "test_support.h"

namespace pelmor::test {

// Writes deflate bits: values least significant bit first, Huffman codes most significant first.
class DeflateWriter {
 public:
  DeflateWriter& Bits(uint32_t value, int count);
  DeflateWriter& Code(uint32_t code, int length);
  // Block header: BFINAL then BTYPE.
  DeflateWriter& Header(bool final, int type) { return Bits(final ? 1 : 0, 1).Bits(uint32_t(type), 2); }
  // A symbol of the fixed literal/length code, and a fixed distance code.
  DeflateWriter& FixedSymbol(int symbol);
  DeflateWriter& FixedDistance(int code) { return Code(uint32_t(code), 5); }
  // Pads the current byte with zero bits.
  DeflateWriter& Align();
  DeflateWriter& Byte(uint8_t b) { return Align().Bits(b, 8); }
  // A stored block holding data.
  DeflateWriter& Stored(bool final, const Bytes& data);
  Bytes Finish();

 private:
  Bytes bytes_;
  int used_ = 8;  // bits used in the last byte
};

// A zlib stream around deflate data: header 78 01 (or the given bytes) and an Adler-32 trailer.
Bytes ZlibWrap(const Bytes& deflate, uint8_t cmf = 0x78, uint8_t flg = 0x01);
uint32_t Adler32(const Bytes& data);

// The plain inflater over a whole zlib stream: the produced length, or nothing on failure.
std::optional<size_t> ReferenceInflate(const Bytes& zlib, uint8_t* out, size_t outSize);

}  // namespace pelmor::test
