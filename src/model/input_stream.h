// Bit and byte reading over bytes already in memory, with an output bit writer, shared by the
// decompressors. Nothing is ever read at or beyond `size`; end of input reads as -1.
#pragma once

#include <cstdint>

namespace pelmor {

class CInputStream {
 public:
  CInputStream(const uint8_t* data, int32_t size, uint8_t* outBuf, int32_t outSize, bool msbFirst)
      : data(data), size(data != nullptr && size > 0 ? size : 0), outBuf(outBuf),
        outSize(outBuf != nullptr && outSize > 0 ? outSize : 0), msbFirst(msbFirst) {}
  virtual ~CInputStream() = default;

  // The next bit (0 or 1) in the stream's bit order, or -1 at the end of the input. A byte whose
  // eight bits have all been read is left only by the next ReadBit or AlignInput.
  virtual int32_t ReadBit();
  // Skips the rest of a partly read byte.
  virtual bool AlignInput();
  // Skips the rest of a partly written output byte.
  virtual bool AlignOutput();
  // The byte at `pos`, moving past it; the bit position is neither used nor changed.
  virtual int32_t ReadByte();
  // The byte after the one the next ReadBit reads from, without moving; -1 past the end.
  virtual int32_t PeekByte();

  const uint8_t* data;  // not owned
  int32_t size;
  int32_t pos = 0;
  uint8_t* outBuf;  // not owned
  int32_t outSize;
  int32_t outPos = 0;
  bool msbFirst;
  int32_t bitPos = 0;     // bits already taken from data[pos], 0 ... 8
  int32_t outBitPos = 0;  // bits already written into outBuf[outPos], 0 ... 8
};

// The stream the TIFF decoders write bilevel rows through.
class CTiffBitStream : public CInputStream {
 public:
  using CInputStream::CInputStream;

  // Appends count copies of one bit value, most significant bit first within each byte. Each
  // output byte is stored whole when a run first reaches it, so the output needs no clearing
  // beforehand. False when the output is full (what fitted has been written).
  virtual bool WriteBits(int32_t count, int32_t bit);
};

}  // namespace pelmor
