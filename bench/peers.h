// The libraries people would use instead of ours, each decoding a whole file into memory, as a
// viewer opening the file would. Each returns the bytes produced, 0 on failure. `memory` says where
// the output goes (see Memory); libraries that allocate their output themselves use the same
// allocator for it through their allocation hooks where they have them.
#pragma once

#include <cstddef>
#include <string>

#include "bench.h"

namespace pelmor::bench {

// stb_image (BMP, TGA): stbi_load with the file's own channel count; its STBI_MALLOC family goes to
// the chosen allocator.
size_t StbLoad(const std::string& path, Memory memory);
// libpng: png_read_image of the file's own format (interlace handled by libpng) into rows of one
// buffer.
size_t LibpngRead(const std::string& path, Memory memory);
// libspng: spng_decode_image to the file's own format.
size_t SpngRead(const std::string& path, Memory memory);
// giflib: DGifSlurp (its own allocation), then every frame (or only the first) expanded through
// its palette and composited onto a 32-bit canvas with transparency and disposal.
size_t GiflibComposite(const std::string& path, bool allFrames, Memory memory);
// libtiff: every strip of the first page through TIFFReadEncodedStrip into one buffer.
size_t LibtiffStrips(const std::string& path, Memory memory);
// libjpeg: the file decoded to RGB (or grey for a grey file) scan lines.
size_t LibjpegDecode(const std::string& path, Memory memory);

}  // namespace pelmor::bench
