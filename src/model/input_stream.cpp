#include "model/input_stream.h"

namespace pelmor {

namespace {

// The top n bits of a byte set, n = 0 ... 8.
constexpr uint8_t kTopBits[9] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

}  // namespace

int32_t CInputStream::ReadBit() {
  if (bitPos >= 8) {
    ++pos;
    bitPos = 0;
  }
  if (pos >= size) return -1;
  const int shift = msbFirst ? 7 - bitPos : bitPos;
  ++bitPos;
  return (data[pos] >> shift) & 1;
}

bool CInputStream::AlignInput() {
  if (bitPos > 0) {
    ++pos;
    bitPos = 0;
  }
  return true;
}

bool CInputStream::AlignOutput() {
  if (outBitPos > 0) {
    ++outPos;
    outBitPos = 0;
  }
  return true;
}

int32_t CInputStream::ReadByte() {
  if (pos >= size) return -1;
  return data[pos++];
}

int32_t CInputStream::PeekByte() {
  const int64_t index = int64_t{pos} + (bitPos >= 8 ? 2 : 1);
  return index < size ? data[index] : -1;
}

bool CTiffBitStream::WriteBits(int32_t count, int32_t bit) {
  if (count <= 0) return true;
  if (outBitPos > 7 || outPos >= outSize) return false;
  if (outBitPos > 0) {
    const int32_t room = 8 - outBitPos;
    if (bit) {
      const int32_t n = count < room ? count : room;
      outBuf[outPos] |= static_cast<uint8_t>(kTopBits[n] >> outBitPos);
      outBitPos += n;
      count -= n;
    } else if (room < count) {
      ++outPos;
      outBitPos = 0;
      count -= room;
    } else {
      outBitPos += count;
      count = 0;
    }
    if (outBitPos == 8) {
      ++outPos;
      outBitPos = 0;
    }
    if (count == 0) return true;
  }
  while (count > 7) {
    if (outPos >= outSize) return false;
    outBuf[outPos++] = bit ? 0xFF : 0x00;
    count -= 8;
  }
  if (count > 0) {
    if (outPos >= outSize) return false;
    outBuf[outPos] = bit ? kTopBits[count] : 0x00;
    outBitPos = count;
  }
  return true;
}

}  // namespace pelmor
