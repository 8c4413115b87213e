// The libraries people would use instead of ours, each decoding a whole file into memory it
// allocates itself, as a viewer opening the file would. Each returns the bytes produced, 0 on
// failure.
#pragma once

#include <cstddef>
#include <string>

namespace pelmor::bench {

// stb_image (BMP, TGA): stbi_load with the file's own channel count.
size_t StbLoad(const std::string& path);
// libpng: png_read_image of the file's own format (interlace handled by libpng).
size_t LibpngRead(const std::string& path);
// libspng: spng_decode_image to the file's own format.
size_t SpngRead(const std::string& path);
// giflib: DGifSlurp, then every frame (or only the first) expanded through its palette and
// composited onto a 32-bit canvas with transparency and disposal.
size_t GiflibComposite(const std::string& path, bool allFrames);
// libtiff: every strip of the first page through TIFFReadEncodedStrip.
size_t LibtiffStrips(const std::string& path);
// libjpeg: the file decoded to RGB (or grey for a grey file) scan lines.
size_t LibjpegDecode(const std::string& path);

}  // namespace pelmor::bench
