// The interface every image format implements. A codec is a member of its document and writes the
// document's image fields directly while it loads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmor {

class CImageDoc;

// The formats, in the document's member order (which is also the fallback order of Open).
enum class CodecId : uint8_t { kBmp, kJpeg, kGif, kTiff, kPng, kTga };
constexpr size_t kCodecCount = 6;

class CImageCodec {
 public:
  explicit CImageCodec(CImageDoc* owner) : owner(owner) {}
  virtual ~CImageCodec() = default;
  CImageCodec(const CImageCodec&) = delete;
  CImageCodec& operator=(const CImageCodec&) = delete;

  // Reads owner->fileName and decodes the image with the given index (first = 0).
  virtual bool Load(int32_t imageIndex) = 0;
  // Decodes the image after owner->currentImage.
  virtual bool LoadNext() = 0;
  // Makes the given image the current one.
  virtual bool GoToImage(int32_t imageIndex) = 0;
  // Writes the document's current image to a new file.
  virtual bool Save(const char* fileName, float compressionRatio) = 0;

 protected:
  // Shared behaviours of the formats that hold one image or cannot write.
  static bool NoNextImage() { return false; }
  static bool OnlyFirstImage(int32_t imageIndex) { return imageIndex == 0; }
  static bool CannotSave() { return false; }

  CImageDoc* owner;  // not owned
};

}  // namespace pelmor
