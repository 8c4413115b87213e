// What the commands that show a control have in common: the window size option, writing a
// window's pixels through the document's writers, and opening a file in a control.
#pragma once

#include <cstdint>
#include <string>

#include "platform/surface.h"

namespace pelmor::cli {

// "WxH" with both sides positive (at most nine digits).
bool ParseWindowSize(const std::string& text, int32_t& width, int32_t& height);

// Writes a surface as a 24-bit image; the extension picks the writer (bmp; jpg or jpeg; tga).
bool WriteSurface(const platform::Surface& surface, const std::string& path, float compressionRatio);

}  // namespace pelmor::cli
