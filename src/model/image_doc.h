// The image model of one control: the open file's name, the one decoded image (a DIB), the state
// for stepping through multi-image files, four metadata strings, the codecs and a cache of a
// smoothly down-scaled copy for drawing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "model/dib.h"
#include "model/frame_disposal.h"
#include "model/image_block.h"
#include "model/image_codec.h"
#include "model/memory_file.h"
#include "platform/device_context.h"
#include "platform/gdi_objects.h"

namespace pelmor {

class CImageDoc {
 public:
  CImageDoc();
  ~CImageDoc();
  CImageDoc(const CImageDoc&) = delete;
  CImageDoc& operator=(const CImageDoc&) = delete;

  // Empties the document, then opens the file and decodes the image with the given index.
  bool Open(const char* fileName, int32_t imageIndex);
  // Frees the image and everything derived from it.
  void Clear();
  // Decodes the image after the current one; a decoding failure empties the document.
  bool NextImage();
  // Decodes the given image; a decoding failure empties the document.
  bool ShowImage(int32_t imageIndex);
  // Writes the current image; the format follows from the name's extension.
  bool Save(const char* fileName);
  // Rebuilds the palette from the colour table.
  bool BuildPalette();
  int32_t ColorCount() const { return ColorCountOf(header); }
  void FreeScaledCache();
  // Paints the current image into the rectangle (x, y, w, h) of a device context, the image's
  // palette selected for the time of the call. stretch: the whole image fills the rectangle
  // (averaged when it shrinks); otherwise the image's top-left part that fits is copied. Returns
  // the realisation result of the palette put back, or 0. `painted`, when given, tells whether
  // the image's pixels reached the device.
  int32_t Draw(platform::HDC dc, int32_t x, int32_t y, uint32_t w, uint32_t h, bool stretch,
               bool* painted = nullptr);
  // Whether a stretching Draw that paints sets every device pixel of its rectangle: not so for a
  // run-length image, whose skipped pixels keep what was there, nor for a header whose size is
  // not the document's.
  bool DrawCoversRectangle() const;

  // The document's codec for a format (made from the table in codecs/codec_table.h), or null
  // while that format is not built into the document.
  CImageCodec* Codec(CodecId id) const;
  // The format of currentCodec, if any.
  std::optional<CodecId> CurrentCodecId() const;

  // For codecs: replaces the image block by a zero-filled one of the given size (null when the
  // size is refused or cannot be had), leaving header and bits null.
  uint8_t* AllocateBlock(uint64_t size);
  // For codecs: allocates a DIB with a 40-byte header (biSize 40, biPlanes 1, the bit count,
  // biSizeImage = stride x height, other fields 0), room for tableEntries colours after it, and
  // sets block, header, bits, width and height. False for sizes that are not positive or do not
  // fit (the document's image is then untouched) and when the memory cannot be had.
  bool CreateDib(int32_t dibWidth, int32_t dibHeight, uint16_t bitCount, uint32_t tableEntries);
  // For codecs: the first byte past the image block (bounds for anything read from it).
  const uint8_t* BlockEnd() const { return block.Data() + block.Size(); }

  // Every byte the document holds or a codec uses while opening, stepping or saving is drawn from
  // here (declared first, so that it outlives everything drawn from it).
  MemoryBudget budget;
  std::string fileName;
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* bits = nullptr;
  BITMAPINFOHEADER* header = nullptr;
  ImageBlock block;
  uint8_t* scaledBits = nullptr;
  BITMAPINFOHEADER* scaledHeader = nullptr;
  ImageBlock scaledBlock;
  int32_t scaledWidth = 0;
  int32_t scaledHeight = 0;
  uint32_t backColor = 0xFFFFFF;  // colour reference 0x00BBGGRR
  platform::HPALETTE palette = nullptr;
  int32_t delayTime = 0;
  int32_t imageCount = 0;
  int32_t currentImage = -1;
  std::optional<std::string> documentName;
  std::optional<std::string> imageDescription;
  std::optional<std::string> imageCopyright;
  std::optional<std::string> software;
  MemoryFile fileCache{budget};  // whole-file copy of the last GIF file read
  FrameDisposal disposal;
  CImageCodec* currentCodec = nullptr;  // not owned: one of the document's codecs
  float compressionRatio = 0.9f;
  bool halftoneStretch = false;

 private:
  // One codec per format, in member order, each told this document is its owner.
  std::array<std::unique_ptr<CImageCodec>, kCodecCount> codecs_;

  bool SelectAndLoad(int32_t imageIndex);
  bool SaveByExtension(const char* fileName);
  bool HasImage() const { return block && header != nullptr && bits != nullptr; }
  // Paints through the cached down-scaled copy, building it first when there is none of this size;
  // false when nothing was painted.
  bool DrawSmoothDownscale(platform::HDC dc, int32_t x, int32_t y, uint32_t w, uint32_t h);
};

}  // namespace pelmor
