// JPEG files through libjpeg (the 6b programming interface): the reader turns the library's grey
// or colour scan lines into an 8-bit grey or a 24-bit DIB, the writer turns any DIB into a
// three-component baseline file.
#pragma once

#include <optional>

#include "model/image_codec.h"

namespace pelmor {

class CJpegCodec : public CImageCodec {
 public:
  using CImageCodec::CImageCodec;

  // The index is ignored: a JPEG file holds one image.
  bool Load(int32_t imageIndex) override;
  bool LoadNext() override { return NoNextImage(); }
  bool GoToImage(int32_t imageIndex) override { return OnlyFirstImage(imageIndex); }
  // Writes with the quality QualityForRatio gives.
  bool Save(const char* fileName, float compressionRatio) override;

  // Writes the document's image with a quality of 0 to 100. Nothing is created when there is no
  // image, the quality is out of range, or the image cannot be read (run-length rows).
  bool WriteJpeg(const char* fileName, int32_t quality);

  // ratio x 100, formed from the float at double precision and truncated toward zero (0.9, which
  // a float holds as 0.89999998, gives 89). Nothing when that lies outside 0..100.
  static std::optional<int32_t> QualityForRatio(float compressionRatio);
};

}  // namespace pelmor
