#include "codecs/gif_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/lzw_decoder.h"
#include "platform/byte_reader.h"
#include "model/image_doc.h"
#include "model/memory_file.h"

namespace pelmor {

namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kGraphicControlLength = 4;

constexpr uint8_t kHasColorTable = 0x80;  // in the screen's and the descriptor's packed byte
constexpr uint8_t kInterlaced = 0x40;     // in the descriptor's packed byte

enum DisposalMethod { kRestoreToBackground = 2, kRestoreToPrevious = 3 };

// Entries in a colour table whose packed size field is n.
int TableEntries(uint8_t packed) { return 2 << (packed & 7); }

// A canvas pixel: blue, green, red, 0 in memory.
inline uint32_t Pixel(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t{b} | uint32_t{g} << 8 | uint32_t{r} << 16;
}

// The document's background colour reference (0x00BBGGRR) as a canvas pixel.
inline uint32_t BackgroundPixel(uint32_t colorRef) {
  return Pixel(uint8_t(colorRef), uint8_t(colorRef >> 8), uint8_t(colorRef >> 16));
}

uint8_t ReadByteOr(MemoryFile& file, int32_t& ok) {
  uint8_t b = 0;
  ok = file.Read(&b, 1, 1);
  return b;
}

// Moves past data sub-blocks: to just after the zero length that ends them, or to the end of the
// data when the file stops first (a truncated file keeps what it has).
void SkipSubBlocks(MemoryFile& file) {
  for (;;) {
    int32_t ok;
    const uint8_t length = ReadByteOr(file, ok);
    if (ok != 1 || length == 0) return;
    file.Seek(std::min<int32_t>(length, file.Remaining()), 1);
  }
}

// The canvas is the document's 32-bit DIB: rows bottom-up, four bytes a pixel, no padding.
struct Canvas {
  uint32_t* pixels;
  int32_t width;
  int32_t height;
  // Picture row y (top-down).
  uint32_t* Row(int32_t y) const { return pixels + size_t(height - 1 - y) * size_t(width); }
};

// Receives the decoded lines of one frame and draws them onto the canvas through the palette.
// Its input is the frame's data with the sub-block framing already taken out, so the decoder
// reads it directly.
class FrameSink final : public CPlainPixelSink {
 public:
  FrameSink(const BudgetBuffer<uint8_t>& data, const Canvas& canvas, const uint8_t* descriptor,
            int32_t transparent, const uint32_t* palette, FrameDisposal& disposal,
            MemoryBudget& budget)
      : CPlainPixelSink(data.Data(), int32_t(data.Size()), reinterpret_cast<uint8_t*>(canvas.pixels),
                        0),
        canvas_(canvas),
        disposal_(disposal),
        budget_(budget),
        left_(LoadU16LE(descriptor)),
        top_(LoadU16LE(descriptor + 2)),
        frameHeight_(LoadU16LE(descriptor + 6)),
        interlaced_((descriptor[8] & kInterlaced) != 0),
        rowsLeft_(frameHeight_),
        pass_(frameHeight_ > 0 ? 0 : 4),
        transparent_(transparent),
        palette_(palette) {}

  // Once no further line could reach the canvas (the frame is complete, or the rest of it lies
  // off the canvas) the sink says so, and the decoder only reads on to find how the stream ends.
  int16_t PutLine(const uint8_t* line, int32_t n) override {
    if (left_ >= canvas_.width || top_ >= canvas_.height) {
      ignoreFurtherLines = true;
      return 0;
    }
    int32_t y;
    if (!interlaced_) {
      if (rowsLeft_ <= 0) return 0;
      y = top_ + linesDone_++;
      --rowsLeft_;
      ignoreFurtherLines = rowsLeft_ == 0 || y + 1 >= canvas_.height;
    } else {
      // Rows 0, 8, 16, ...; then 4, 12, ...; then 2, 6, ...; then 1, 3, 5, .... Once the four
      // passes are done (from the start for a frame without rows) further lines are ignored.
      if (pass_ > 3) return 0;
      y = top_ + linesDone_;
      linesDone_ += step_;
      while (linesDone_ >= frameHeight_ && pass_ <= 3) {
        if (pass_ > 0) step_ >>= 1;
        linesDone_ = step_ >> 1;
        ++pass_;
      }
      ignoreFurtherLines = pass_ > 3 || (pass_ == 3 && top_ + linesDone_ >= canvas_.height);
    }
    if (y < canvas_.height) {
      if (!SaveRow(y)) return kNoMemory;
      Draw(y, line, n);
    }
    return 0;
  }

  // What PutLine answers when the restore copy cannot grow: the frame fails.
  static constexpr int16_t kNoMemory = -30;

 private:
  // Before the frame first writes a row of a rectangle that is to be restored afterwards, the
  // row's part of the rectangle is kept: the same as keeping the whole rectangle up front, at the
  // cost of what the frame draws.
  bool SaveRow(int32_t y) {
    FrameDisposal& d = disposal_;
    if (d.mode != FrameDisposal::kRestorePrevious || y < d.top || y - d.top >= d.height) return true;
    int32_t& slot = d.rowSlot[size_t(y - d.top)];
    if (slot >= 0) return true;
    const size_t width = size_t(d.width);
    const size_t needed = (size_t(d.savedRows) + 1) * width;
    if (needed > d.saved.Size()) {
      // Doubling, up to the whole rectangle.
      const size_t grown = std::min(std::max(needed, 2 * d.saved.Size()), width * size_t(d.height));
      BudgetBuffer<uint32_t> bigger;
      if (!bigger.Allocate(budget_, grown)) return false;
      if (d.savedRows > 0) {
        std::memcpy(bigger.Data(), d.saved.Data(), size_t(d.savedRows) * width * 4);
      }
      d.saved = std::move(bigger);
    }
    std::memcpy(d.saved.Data() + size_t(d.savedRows) * width, canvas_.Row(y) + d.left, width * 4);
    slot = d.savedRows++;
    return true;
  }

  void Draw(int32_t y, const uint8_t* line, int32_t n) {
    n = std::min(n, canvas_.width - left_);
    uint32_t* dst = canvas_.Row(y) + left_;
    const uint32_t* pal = palette_;
    if (transparent_ < 0) {
      for (int32_t i = 0; i < n; ++i) dst[i] = pal[line[i]];
    } else {
      // Without a branch per pixel: transparent pixels keep what the canvas holds.
      const uint8_t t = static_cast<uint8_t>(transparent_);
      for (int32_t i = 0; i < n; ++i) {
        const uint8_t v = line[i];
        const uint32_t here = dst[i];
        const uint32_t drawn = pal[v];
        dst[i] = v == t ? here : drawn;
      }
    }
  }

  Canvas canvas_;
  FrameDisposal& disposal_;
  MemoryBudget& budget_;
  int32_t left_;
  int32_t top_;
  int32_t frameHeight_;
  bool interlaced_;
  int32_t rowsLeft_;
  int32_t linesDone_ = 0;
  int32_t step_ = 8;
  int32_t pass_;  // 4: all passes done
  int32_t transparent_;  // -1 for none; an index above 255 never matches
  const uint32_t* palette_;
};

}  // namespace

CGifCodec::CGifCodec(CImageDoc* owner) : CImageCodec(owner) {}

bool CGifCodec::Save(const char*, float) { return CannotSave(); }

bool CGifCodec::GoToImage(int32_t imageIndex) {
  if (imageIndex == owner->currentImage) return true;
  if (imageIndex < owner->currentImage) return Load(imageIndex);
  while (owner->currentImage < imageIndex) {
    if (!LoadNext()) return false;
  }
  return true;
}

bool CGifCodec::Load(int32_t imageIndex) {
  CImageDoc& doc = *owner;
  doc.Clear();
  transparentIndex = -1;
  std::memset(graphicControl, 0, sizeof graphicControl);
  std::memset(screen, 0, sizeof screen);
  std::memset(descriptor, 0, sizeof descriptor);
  globalTable = ColorTable();
  frameEnd = 0;
  doc.width = 0;
  doc.height = 0;
  doc.currentImage = -1;
  // Indices beyond a file's colour tables show black, whatever was viewed before, so that a
  // frame looks the same each time it is shown.
  std::memset(red, 0, sizeof red);
  std::memset(green, 0, sizeof green);
  std::memset(blue, 0, sizeof blue);

  MemoryFile& file = doc.fileCache;
  if (!file.OpenCached(doc.fileName.c_str())) return false;
  if (file.Read(screen, 1, sizeof screen) != int32_t(sizeof screen)) return false;
  if (std::memcmp(screen, "GIF", 3) != 0) return false;  // the version is not examined
  globalTable.entryCount = static_cast<int16_t>(TableEntries(screen[10]));
  const int32_t screenWidth = LoadU16LE(screen + 6);
  const int32_t screenHeight = LoadU16LE(screen + 8);
  doc.width = screenWidth;
  doc.height = screenHeight;
  if (screen[10] & kHasColorTable) {
    const int32_t bytes = globalTable.entryCount * 3;
    if (file.Read(globalTable.entries, 1, bytes) != bytes) return false;
  }
  doc.disposal.Reset();

  const int32_t mark = file.Tell();
  if (!CountFrames(file)) return false;
  file.Seek(mark, 0);

  if (doc.block) return false;
  try {
    // Checked against 32 bits and the document's allocation limit.
    if (!doc.CreateDib(screenWidth, screenHeight, 32, 0)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  FillRect(0, 0, screenWidth, screenHeight);
  for (int32_t i = 0; i <= imageIndex; ++i) {
    if (!LoadNext()) return false;
  }
  return true;
}

bool CGifCodec::CountFrames(MemoryFile& file) {
  CImageDoc& doc = *owner;
  doc.imageCount = 0;
  uint8_t header[13];
  if (file.Seek(0, 0) != 0 || file.Read(header, 1, 13) != 13) return false;
  if (header[10] & kHasColorTable) {
    const int32_t bytes = TableEntries(header[10]) * 3;
    if (file.Remaining() < bytes) return false;
    file.Seek(bytes, 1);
  }
  // The end of the data ends the count wherever it comes: a truncated file shows what it has. A
  // frame counts once its descriptor, colour table and code size are there, for then it can be
  // decoded as far as its data goes.
  for (;;) {
    int32_t ok;
    const uint8_t type = ReadByteOr(file, ok);
    if (ok != 1 || type == kTrailer) return true;
    if (type == kImageSeparator) {
      uint8_t frame[9];
      if (file.Read(frame, 1, 9) != 9) return true;
      if (frame[8] & kHasColorTable) {
        const int32_t bytes = TableEntries(frame[8]) * 3;
        if (file.Remaining() < bytes) return true;
        file.Seek(bytes, 1);
      }
      ReadByteOr(file, ok);  // LZW minimum code size
      if (ok != 1) return true;
      ++doc.imageCount;
      SkipSubBlocks(file);
    } else if (type == kExtensionIntroducer) {
      ReadByteOr(file, ok);  // label
      if (ok != 1) return true;
      SkipSubBlocks(file);
    }
    // Any other byte is ignored.
  }
}

bool CGifCodec::GatherSubBlocks(MemoryFile& file, BudgetBuffer<uint8_t>& data) {
  // A first pass finds the size, so that the buffer is allocated once.
  const int32_t start = file.Tell();
  SkipSubBlocks(file);
  const int32_t end = file.Tell();
  file.Seek(start, 0);
  if (!data.Allocate(owner->budget, size_t(end - start))) return false;
  const uint8_t* bytes = file.Data();
  size_t filled = 0;
  for (;;) {
    int32_t ok;
    const uint8_t length = ReadByteOr(file, ok);
    if (ok != 1 || length == 0) break;
    const int32_t n = std::min<int32_t>(length, file.Remaining());
    std::memcpy(data.Data() + filled, bytes + file.Tell(), size_t(n));
    filled += size_t(n);
    file.Seek(n, 1);
  }
  // The length bytes are not part of the data.
  data.Shrink(filled);
  return true;
}

void CGifCodec::FillRect(int32_t left, int32_t top, int32_t w, int32_t h) {
  CImageDoc& doc = *owner;
  if (doc.bits == nullptr) return;
  const Canvas canvas{reinterpret_cast<uint32_t*>(doc.bits), doc.width, doc.height};
  const int32_t right = std::min<int32_t>(left + w, canvas.width);
  const int32_t bottom = std::min<int32_t>(top + h, canvas.height);
  if (left >= right || top >= bottom) return;
  // One row is filled pixel by pixel, the others are copies of it.
  uint32_t* first = canvas.Row(top) + left;
  std::fill(first, first + (right - left), BackgroundPixel(doc.backColor));
  for (int32_t y = top + 1; y < bottom; ++y) {
    std::memcpy(canvas.Row(y) + left, first, size_t(right - left) * 4);
  }
}

bool CGifCodec::LoadNext() {
  try {
    return DecodeNextFrame();
  } catch (const std::bad_alloc&) {
    // Stepping through an animation has no guard of its own above this: running out of memory
    // is a failed step.
    return false;
  }
}

bool CGifCodec::DecodeNextFrame() {
  CImageDoc& doc = *owner;
  if (doc.bits == nullptr || doc.header == nullptr) return false;
  MemoryFile& file = doc.fileCache;
  int32_t ok;

  // Extensions up to the next image; only the graphic control extension is interpreted.
  for (;;) {
    const uint8_t type = ReadByteOr(file, ok);
    if (ok != 1 || type == kTrailer) return false;
    if (type == kImageSeparator) break;
    if (type != kExtensionIntroducer) continue;
    const uint8_t label = ReadByteOr(file, ok);
    if (ok != 1) return false;
    if (label == kGraphicControlLabel) {
      // Its single sub-block is exactly four bytes; any other length is a broken file (a shorter
      // one would leave stale fields behind, a zero one would swallow the next block).
      const uint8_t length = ReadByteOr(file, ok);
      if (ok != 1 || length != kGraphicControlLength) return false;
      if (file.Read(graphicControl, 1, kGraphicControlLength) != kGraphicControlLength) {
        return false;
      }
      transparentIndex = (graphicControl[0] & 1) ? graphicControl[3] : -1;
      doc.delayTime = LoadU16LE(graphicControl + 1) * 10;
    }
    SkipSubBlocks(file);
  }

  if (file.Read(descriptor, 1, 9) != 9) return false;
  const int32_t left = LoadU16LE(descriptor);
  const int32_t top = LoadU16LE(descriptor + 2);
  const int32_t frameWidth = LoadU16LE(descriptor + 4);
  const int32_t frameHeight = LoadU16LE(descriptor + 6);
  uint8_t localTable[256 * 3];
  int32_t localEntries = 0;
  if (descriptor[8] & kHasColorTable) {
    localEntries = TableEntries(descriptor[8]);
    if (file.Read(localTable, 3, localEntries) != localEntries) return false;
  }
  const uint8_t minCodeSize = ReadByteOr(file, ok);
  if (ok != 1) return false;
  BudgetBuffer<uint8_t> frameData;
  if (!GatherSubBlocks(file, frameData)) return false;
  frameEnd = file.Tell();

  const Canvas canvas{reinterpret_cast<uint32_t*>(doc.bits), doc.width, doc.height};
  // What the previous frame left to be done.
  FrameDisposal& disposal = doc.disposal;
  if (disposal.mode == FrameDisposal::kRestoreBackground) {
    FillRect(disposal.left, disposal.top, disposal.width, disposal.height);
  } else if (disposal.mode == FrameDisposal::kRestorePrevious) {
    for (int32_t j = 0; j < disposal.height; ++j) {
      const int32_t slot = disposal.rowSlot[size_t(j)];
      if (slot < 0) continue;  // never written by that frame
      std::memcpy(canvas.Row(disposal.top + j) + disposal.left,
                  disposal.saved.Data() + size_t(slot) * size_t(disposal.width),
                  size_t(disposal.width) * 4);
    }
  }
  disposal.Reset();

  // What this frame leaves to be done. Only the part of its rectangle on the canvas matters.
  const int method = (graphicControl[0] >> 2) & 7;
  if (method == kRestoreToBackground || method == kRestoreToPrevious) {
    disposal.mode = method == kRestoreToBackground ? FrameDisposal::kRestoreBackground
                                                   : FrameDisposal::kRestorePrevious;
    disposal.left = left;
    disposal.top = top;
    disposal.width = std::max(0, std::min(left + frameWidth, canvas.width) - left);
    disposal.height = std::max(0, std::min(top + frameHeight, canvas.height) - top);
    if (disposal.width == 0 || disposal.height == 0) {
      disposal.width = disposal.height = 0;
    } else if (disposal.mode == FrameDisposal::kRestorePrevious) {
      // Rows are kept as the frame first writes them (FrameSink::SaveRow).
      if (!disposal.rowSlot.AtLeast(doc.budget, size_t(disposal.height))) return false;
      std::fill_n(disposal.rowSlot.Data(), disposal.height, -1);
    }
  }

  // The palette: the frame's own table, else the global one, else the one already active.
  const uint8_t* table = nullptr;
  int32_t entries = 0;
  if (localEntries > 0) {
    table = localTable;
    entries = localEntries;
  } else if (screen[10] & kHasColorTable) {
    table = globalTable.entries;
    entries = globalTable.entryCount;
  }
  if (table != nullptr) {
    for (int32_t i = 0; i < entries; ++i) {
      red[i] = table[3 * i];
      green[i] = table[3 * i + 1];
      blue[i] = table[3 * i + 2];
    }
    if (transparentIndex != -1) {
      for (int32_t i = entries; i < 256; ++i) {
        if (i != transparentIndex) red[i] = green[i] = blue[i] = 255;
      }
    }
  }

  // A frame without width or height draws nothing; its data is not decoded.
  if (frameWidth > 0 && frameHeight > 0) {
    uint32_t palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = Pixel(red[i], green[i], blue[i]);
    FrameSink sink(frameData, canvas, descriptor, transparentIndex, palette, disposal, doc.budget);
    CLzwDecoder decoder(minCodeSize, CLzwDecoder::kLsbFirst, false, &sink, &doc.budget);
    int32_t badCodes = 0;
    if (decoder.Decode(frameWidth, &badCodes) != 0) return false;
  }
  ++doc.currentImage;
  return true;
}

}  // namespace pelmor
