// The module's bitmap resources as .bmp file bytes: number 1 is the toolbox bitmap both controls
// register (16 x 16 pixels, 4 bits per pixel, the standard 16-colour palette).
#pragma once

#include <cstdint>
#include <span>

namespace pelmor {

// The bytes of bitmap id; empty when the module has no such bitmap.
std::span<const uint8_t> ModuleBitmap(uint32_t id);

}  // namespace pelmor
