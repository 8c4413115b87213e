// Truevision TGA files in their true-colour forms: uncompressed (image type 2) and run-length
// encoded (type 10) at 16, 24 or 32 bits per pixel, read into a 16- or 24-bit DIB (alpha is
// dropped); 16- and 24-bit images are written as uncompressed files.
#pragma once

#include "model/image_codec.h"

namespace pelmor {

class CTgaCodec : public CImageCodec {
 public:
  using CImageCodec::CImageCodec;

  // The index is ignored: a TGA file holds one image. An image the document already holds is
  // replaced.
  bool Load(int32_t imageIndex) override;
  bool LoadNext() override { return NoNextImage(); }
  bool GoToImage(int32_t imageIndex) override { return OnlyFirstImage(imageIndex); }
  // The ratio is ignored. Only 16- and 24-bit images up to 65535 x 65535 are written.
  bool Save(const char* fileName, float compressionRatio) override;
};

}  // namespace pelmor
