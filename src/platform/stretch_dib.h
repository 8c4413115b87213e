// StretchDIBits: paints a device-independent bitmap, or part of it, into a rectangle of a device
// context, converting its pixels to the device's and then stretching them with the context's
// stretch mode.
#pragma once

#include <cstdint>

#include "platform/device_context.h"
#include "platform/dib_format.h"
#include "platform/dib_reader.h"

namespace pelmor::platform {

constexpr uint32_t DIB_RGB_COLORS = 0;

// The source rectangle (xSrc, ySrc, srcWidth, srcHeight) counts from the bottom row for a
// bottom-up DIB, and for a top-down one too unless the call copies from (0, 0) without
// stretching. A negative extent covers the pixels from x + extent + 1 to x; an axis whose source
// and destination extents differ in sign is mirrored. The source is cut to the DIB and the
// destination to the surface; a cut call paints exactly the matching part of the uncut result.
// Returns the DIB's height when something was painted, 0 otherwise (nothing in view, a header
// that cannot be drawn, a raster operation other than SRCCOPY, colour use other than
// DIB_RGB_COLORS, or working memory that cannot be had). `memory`, when given, is where the
// header, colour table, masks and pixels must lie.
int StretchDIBits(HDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                  int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                  const BITMAPINFOHEADER* info, uint32_t usage, uint32_t rop, DibMemory memory = {});

namespace stretch {

// Which source pixel a destination pixel shows when an axis of `source` pixels is enlarged to
// `destination` (destination >= source): the one under its centre, ties going to the lower.
int64_t EnlargedSource(int64_t i, int64_t source, int64_t destination);
// Which destination pixel a source pixel belongs to when an axis shrinks (source > destination).
int64_t ShrunkDestination(int64_t j, int64_t source, int64_t destination);

}  // namespace stretch

}  // namespace pelmor::platform
