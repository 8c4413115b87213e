// Windows bitmap files: a 14-byte file header in front of a DIB.
#pragma once

#include "model/image_codec.h"

namespace pelmor {

class CBmpCodec : public CImageCodec {
 public:
  using CImageCodec::CImageCodec;

  // The index is ignored: a bitmap file holds one image.
  bool Load(int32_t imageIndex) override;
  bool LoadNext() override { return NoNextImage(); }
  bool GoToImage(int32_t imageIndex) override { return OnlyFirstImage(imageIndex); }
  // The ratio is ignored.
  bool Save(const char* fileName, float compressionRatio) override;
};

}  // namespace pelmor
