// Painting the document's image: palette selection, the choice between the halftone stretch and
// the document's own down-scale, and the cache of the down-scaled copy.
#include <algorithm>
#include <cstring>

#include "model/image_doc.h"
#include "model/smooth_downscale.h"
#include "platform/checked_size.h"
#include "platform/stretch_dib.h"

namespace pelmor {

int32_t CImageDoc::Draw(platform::HDC dc, int32_t x, int32_t y, uint32_t w, uint32_t h,
                        bool stretch, bool* painted) {
  using namespace platform;
  if (painted != nullptr) *painted = false;
  if (bits == nullptr || header == nullptr) return 0;

  HPALETTE previous = nullptr;
  const bool paletteSelected = palette != nullptr;
  if (paletteSelected) {
    previous = SelectPalette(dc, palette, false);
    RealizePalette(dc);
  }

  const auto W = static_cast<uint32_t>(width), H = static_cast<uint32_t>(height);
  const bool shrinking = stretch && w < W && h < H;
  const uint32_t compression = header->biCompression;
  const uint16_t bitCount = header->biBitCount;
  const bool trueColor = compression == BI_RGB && (bitCount == 24 || bitCount == 32);
  const DibMemory memory{block.Data(), BlockEnd()};

  bool done = false;
  if (!halftoneStretch && shrinking && trueColor) {
    done = DrawSmoothDownscale(dc, x, y, w, h);
  } else {
    const bool halftone = stretch && halftoneStretch && (w < W || h < H);
    int oldMode = 0;
    if (halftone) oldMode = SetStretchBltMode(dc, HALFTONE);
    if (stretch) {
      done = StretchDIBits(dc, x, y, static_cast<int32_t>(w), static_cast<int32_t>(h), 0, 0, width, height,
                    bits, header, DIB_RGB_COLORS, SRCCOPY, memory) != 0;
    } else {
      // Counted from the bottom row of the DIB: the top rows of the picture are shown.
      const uint32_t sourceY = H >= h ? H - h : 0;
      done = StretchDIBits(dc, x, y, static_cast<int32_t>(w), static_cast<int32_t>(h), 0,
                    static_cast<int32_t>(sourceY), static_cast<int32_t>(std::min(W, w)),
                    static_cast<int32_t>(std::min(H, h)), bits, header, DIB_RGB_COLORS, SRCCOPY,
                    memory) != 0;
    }
    if (halftone) {
      SetBrushOrgEx(dc, 0, 0, nullptr);
      SetStretchBltMode(dc, oldMode);
    }
  }

  if (painted != nullptr) *painted = done;
  if (paletteSelected && previous != nullptr) {
    SelectPalette(dc, previous, true);
    return RealizePalette(dc);
  }
  return 0;
}

bool CImageDoc::DrawCoversRectangle() const {
  if (header == nullptr) return false;
  const int64_t rows = header->biHeight < 0 ? -int64_t{header->biHeight} : header->biHeight;
  return header->biCompression != BI_RLE8 && header->biCompression != BI_RLE4 &&
         header->biWidth == width && rows == height;
}

bool CImageDoc::DrawSmoothDownscale(platform::HDC dc, int32_t x, int32_t y, uint32_t w,
                                    uint32_t h) {
  using namespace platform;
  if (static_cast<int32_t>(w) <= 0 || static_cast<int32_t>(h) <= 0) return false;
  if (scaledBlock && (static_cast<uint32_t>(scaledWidth) != w ||
                      static_cast<uint32_t>(scaledHeight) != h)) {
    FreeScaledCache();
  }
  if (!scaledBlock) {
    const uint32_t bytesPerPixel = header->biBitCount / 8u;
    const auto W = static_cast<uint32_t>(width), H = static_cast<uint32_t>(height);
    const uint32_t sourceStride = DibRowBytes(W, header->biBitCount);
    // The source rows must lie inside the image block whatever the header claims.
    const CheckedSize sourceEnd = CheckedSize(bits - block.Data()) + CheckedSize(sourceStride) * H;
    if (bits < block.Data() || !sourceEnd.AtMost(block.Size())) return false;
    const uint32_t stride = DibRowBytes(w, 24);
    const CheckedSize total = CheckedSize(stride) * h + sizeof(BITMAPINFOHEADER);
    if (!total.FitsIn<uint32_t>()) return false;
    ImageBlock copy = ImageBlock::Allocate(budget, total.Value());
    if (!copy) return false;
    auto* scaled = reinterpret_cast<BITMAPINFOHEADER*>(copy.Data());
    std::memcpy(scaled, header, sizeof(BITMAPINFOHEADER));
    scaled->biSize = sizeof(BITMAPINFOHEADER);
    scaled->biWidth = static_cast<int32_t>(w);
    // The copy keeps the source's row order: a top-down image stays upright.
    scaled->biHeight = header->biHeight < 0 ? -static_cast<int32_t>(h) : static_cast<int32_t>(h);
    scaled->biSizeImage = static_cast<uint32_t>(total.Value());
    scaled->biBitCount = 24;
    uint8_t* scaledPixels = copy.Data() + sizeof(BITMAPINFOHEADER);
    SmoothDownscale(bits, sourceStride, W, H, bytesPerPixel, scaledPixels, stride, w, h);
    scaledBlock = std::move(copy);
    scaledHeader = scaled;
    scaledBits = scaledPixels;
    scaledWidth = static_cast<int32_t>(w);
    scaledHeight = static_cast<int32_t>(h);
  }
  const auto wi = static_cast<int32_t>(w), hi = static_cast<int32_t>(h);
  return StretchDIBits(dc, x, y, wi, hi, 0, 0, wi, hi, scaledBits, scaledHeader, DIB_RGB_COLORS,
                       SRCCOPY, DibMemory{scaledBlock.Data(), scaledBlock.Data() + scaledBlock.Size()}) != 0;
}

}  // namespace pelmor
