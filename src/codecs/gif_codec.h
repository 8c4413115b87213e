// GIF files (GIF87a and GIF89a), still and animated. Frames are composed one at a time onto a
// 32-bit canvas the size of the logical screen, which is the document's image: each frame is drawn
// over what the earlier ones left, after the previous frame's disposal has been carried out. The
// whole file is read once into the document's fileCache and parsed from there.
#pragma once

#include <cstdint>

#include "model/image_codec.h"
#include "platform/memory_budget.h"

namespace pelmor {

class MemoryFile;

class CGifCodec : public CImageCodec {
 public:
  explicit CGifCodec(CImageDoc* owner);

  // Decodes frames 0 ... imageIndex (none for a negative index) onto a fresh canvas.
  bool Load(int32_t imageIndex) override;
  // Decodes the next frame onto the canvas, reading on from where the previous frame ended.
  bool LoadNext() override;
  // The same frame: nothing to do; an earlier one: decoded again from the first frame; a later
  // one: the frames in between are decoded in turn.
  bool GoToImage(int32_t imageIndex) override;
  bool Save(const char* fileName, float compressionRatio) override;

  struct ColorTable {
    int16_t entryCount = 0;
    uint8_t entries[256 * 3] = {};  // red, green, blue
  };

  int32_t transparentIndex = -1;  // palette index not drawn, -1 for none
  int32_t frameEnd = 0;           // file position just after the current frame's data
  // The active palette, kept between frames (a frame without any colour table uses it as is).
  uint8_t red[256] = {};
  uint8_t green[256] = {};
  uint8_t blue[256] = {};
  uint8_t descriptor[9] = {};      // the current frame's image descriptor
  uint8_t graphicControl[4] = {};  // the last graphic control extension; it holds for later frames
  uint8_t screen[13] = {};         // header and logical screen descriptor
  ColorTable globalTable;

 private:
  bool DecodeNextFrame();
  bool CountFrames(MemoryFile& file);
  // The data sub-blocks at the file position without their length bytes, up to the zero length
  // or the end of the data; the position moves past them. False when the budget refuses.
  bool GatherSubBlocks(MemoryFile& file, BudgetBuffer<uint8_t>& data);
  void FillRect(int32_t left, int32_t top, int32_t w, int32_t h);
};

}  // namespace pelmor
