// The channel of the LZW decoder: it pulls compressed bytes from the sink and pushes decoded lines
// of pixel indices into it. Each format derives its own sink.
#pragma once

#include <cstdint>

namespace pelmor {

class CPixelSink {
 public:
  CPixelSink(const uint8_t* inData, int32_t inSize, uint8_t* pixels, int32_t pixelsSize)
      : inData(inData), inSize(inData != nullptr && inSize > 0 ? inSize : 0), pixels(pixels),
        pixelsSize(pixels != nullptr && pixelsSize > 0 ? pixelsSize : 0) {}
  virtual ~CPixelSink() = default;

  // The next compressed byte (0 ... 255), or a negative value when there is no more input.
  virtual int32_t GetByte() = 0;
  // Receives count decoded pixel indices; 0 goes on, a negative value stops the decoder, which
  // then returns that value.
  virtual int16_t PutLine(const uint8_t* line, int32_t count) = 0;

  const uint8_t* inData;  // not owned by the base
  int32_t inSize;
  int32_t inPos = 0;
  uint8_t* pixels;  // not owned
  int32_t pixelsSize;
  int32_t pixelsPos = 0;
};

}  // namespace pelmor
