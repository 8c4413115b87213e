// PNG files (the PNG standard, second edition): the chunk reader, the four text keywords that
// become the document's metadata, and the pixel stage that turns the inflated rows into a DIB.
// PNG is read only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/image_block.h"
#include "model/image_codec.h"

namespace pelmor {

namespace platform {
class BufferedFile;
}

class CPngCodec : public CImageCodec {
 public:
  explicit CPngCodec(CImageDoc* owner) : CImageCodec(owner) {}

  // The index is ignored: a PNG file holds one image.
  bool Load(int32_t imageIndex) override;
  bool LoadNext() override { return NoNextImage(); }
  // Reads the file again, whatever the index.
  bool GoToImage(int32_t imageIndex) override { return Load(imageIndex); }
  bool Save(const char* /*fileName*/, float /*compressionRatio*/) override { return CannotSave(); }

  // Inflates one zlib stream (the image data, or a compressed text) into the whole of output;
  // fails unless the file's compression method is 0. *producedLength gets the byte count.
  bool Inflate(const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize,
               size_t* producedLength) const;

  // The pixel stage.
  // Bytes of one filtered row of w pixels, without its filter-type byte.
  uint64_t RowBytes(uint64_t w) const;
  // Width and height of the seven Adam7 passes (index 0 is pass 1).
  std::array<std::pair<uint32_t, uint32_t>, 7> PassGeometry() const;
  // The image row that row r of a pass lands on (pass 0: not interlaced).
  uint32_t ImageRow(uint32_t r, int pass) const;
  static uint8_t PaethPredictor(uint8_t a, uint8_t b, uint8_t c);
  // Inflates the image data (one zlib stream, at most dataSize bytes) and writes each row into the
  // document's DIB as soon as the inflater has produced it, pass after pass. Rows the data does not
  // reach read as zeros. False when the file's compression method is not 0, the data does not
  // inflate, a filter type is above 4, or memory cannot be had.
  bool DecodeImageData(const uint8_t* data, size_t size);

  // IHDR fields, in file order.
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bitDepth = 0;
  uint8_t colourType = 0;
  uint8_t compressionMethod = 0;
  uint8_t filterMethod = 0;
  uint8_t interlaceMethod = 0;
  bool headerSeen = false;
  // Bytes the inflated image data fills: every row of every pass with its filter-type byte.
  uint32_t dataSize = 0;
  // The filter unit: bytes per complete pixel, at least 1.
  uint32_t pixelBytes = 0;
  bool indexed = false;   // the DIB has a colour table
  bool hasAlpha = false;  // the colour type carries an alpha sample
  uint16_t dibBitCount = 0;

 private:

  bool ReadChunks(platform::BufferedFile& file);
  bool ReadHeader(platform::BufferedFile& file, uint32_t length);
  bool ReadPalette(platform::BufferedFile& file, uint32_t length);
  // The image data of every IDAT chunk, joined. Its memory is reserved once, at the first chunk,
  // for what the rest of the file could hold, and only the pages the data lands on are touched.
  struct ImageData {
    ImageBlock block;
    size_t size = 0;
  };
  bool AppendImageData(platform::BufferedFile& file, uint32_t length, ImageData& imageData);
  // Reads a text chunk's data and CRC; the keyword ends at the first zero byte. An empty chunk
  // leaves data empty. False when the data is not in the file, is too large, or has no keyword end.
  static bool ReadKeywordChunk(platform::BufferedFile& file, uint32_t length, std::vector<uint8_t>& data,
                               size_t& keywordLength);
  bool ReadText(platform::BufferedFile& file, uint32_t length);
  bool ReadCompressedText(platform::BufferedFile& file, uint32_t length);
  void StoreTextField(const std::string& keyword, const uint8_t* text, size_t textLength);
  bool FinishImage(const ImageData& imageData);
  // Allocates the document's DIB for the accepted header, with the grey ramp for grey images.
  bool SetUpOutputImage();
};

}  // namespace pelmor
