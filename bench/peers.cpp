#include "peers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csetjmp>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <spng.h>
#include <tiffio.h>

#include <unordered_map>

namespace pelmor::bench {
namespace {

// stb_image's allocations, from the allocator the current run chose. Blocks from ours are found
// again by their address when they are freed.
Memory stbMemory = Memory::kDefault;
std::unordered_map<void*, ImageBlock>& StbBlocks() {
  static std::unordered_map<void*, ImageBlock> blocks;
  return blocks;
}

void* StbMalloc(size_t n) {
  if (stbMemory == Memory::kDefault) return std::malloc(n);
  ImageBlock b = ImageBlock::Allocate(Budget(), n);
  void* p = b.Data();
  if (p != nullptr) StbBlocks().emplace(p, std::move(b));
  return p;
}

void StbFree(void* p) {
  if (p == nullptr) return;
  auto& blocks = StbBlocks();
  if (auto it = blocks.find(p); it != blocks.end()) {
    blocks.erase(it);
  } else {
    std::free(p);
  }
}

void* StbRealloc(void* p, size_t oldSize, size_t n) {
  if (p == nullptr) return StbMalloc(n);
  if (!StbBlocks().contains(p)) return std::realloc(p, n);
  void* q = StbMalloc(n);
  if (q != nullptr) std::memcpy(q, p, std::min(oldSize, n));
  StbFree(p);
  return q;
}

}  // namespace
}  // namespace pelmor::bench

#define STBI_MALLOC(sz) pelmor::bench::StbMalloc(sz)
#define STBI_REALLOC_SIZED(p, oldsz, newsz) pelmor::bench::StbRealloc(p, oldsz, newsz)
#define STBI_FREE(p) pelmor::bench::StbFree(p)
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#include <stb/stb_image.h>

namespace pelmor::bench {

size_t StbLoad(const std::string& path, Memory memory) {
  stbMemory = memory;
  int w = 0, h = 0, n = 0;
  stbi_uc* p = stbi_load(path.c_str(), &w, &h, &n, 0);
  stbMemory = Memory::kDefault;
  if (p == nullptr) return 0;
  size_t bytes = size_t(w) * h * n;
  stbi_image_free(p);
  return bytes;
}

size_t LibpngRead(const std::string& path, Memory memory) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  size_t bytes = 0;
  std::unique_ptr<OutputBuffer> pixels;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    pixels = std::make_unique<OutputBuffer>(stride * h, memory);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels->Data() + y * stride;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    bytes = stride * h;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return bytes;
}

size_t SpngRead(const std::string& path, Memory memory) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  spng_ctx* ctx = spng_ctx_new(0);
  size_t bytes = 0, size = 0;
  spng_set_png_file(ctx, f);
  if (spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size) == 0) {
    OutputBuffer out(size, memory);
    if (out && spng_decode_image(ctx, out.Data(), size, SPNG_FMT_PNG, 0) == 0) bytes = size;
  }
  spng_ctx_free(ctx);
  std::fclose(f);
  return bytes;
}

size_t GiflibComposite(const std::string& path, bool allFrames, Memory memory) {
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
  if (gif == nullptr) return 0;
  size_t produced = 0;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
    const int w = gif->SWidth, h = gif->SHeight;
    OutputBuffer canvas(size_t(w) * h * 4, memory);
    auto* px = reinterpret_cast<uint32_t*>(canvas.Data());
    const uint32_t background = 0x00FFFFFF;
    std::fill(px, px + size_t(w) * h, background);
    std::vector<uint32_t> saved;
    int disposeMode = 0, dl = 0, dt = 0, dw = 0, dh = 0;
    const int frames = allFrames ? gif->ImageCount : 1;
    for (int i = 0; i < frames; ++i) {
      // The previous frame's disposal, then this frame's.
      if (disposeMode == DISPOSE_BACKGROUND || disposeMode == DISPOSE_PREVIOUS) {
        for (int y = dt; y < dt + dh && y < h; ++y) {
          for (int x = dl; x < dl + dw && x < w; ++x) {
            px[size_t(y) * w + x] = disposeMode == DISPOSE_BACKGROUND
                                        ? background
                                        : saved[size_t(y - dt) * dw + (x - dl)];
          }
        }
      }
      const SavedImage& im = gif->SavedImages[i];
      GraphicsControlBlock gcb{};
      gcb.TransparentColor = NO_TRANSPARENT_COLOR;
      DGifSavedExtensionToGCB(gif, i, &gcb);
      const GifImageDesc& d = im.ImageDesc;
      disposeMode = gcb.DisposalMode;
      dl = d.Left, dt = d.Top, dw = d.Width, dh = d.Height;
      if (disposeMode == DISPOSE_PREVIOUS) {
        saved.assign(size_t(dw) * dh, 0);
        for (int y = dt; y < dt + dh && y < h; ++y) {
          for (int x = dl; x < dl + dw && x < w; ++x) {
            saved[size_t(y - dt) * dw + (x - dl)] = px[size_t(y) * w + x];
          }
        }
      }
      const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
      uint32_t lut[256] = {};
      for (int c = 0; map != nullptr && c < map->ColorCount && c < 256; ++c) {
        const GifColorType& e = map->Colors[c];
        lut[c] = uint32_t(e.Red) << 16 | uint32_t(e.Green) << 8 | e.Blue;
      }
      const int t = gcb.TransparentColor;
      for (int y = 0; y < d.Height && d.Top + y < h; ++y) {
        const GifByteType* src = im.RasterBits + size_t(y) * d.Width;
        uint32_t* dst = px + size_t(d.Top + y) * w + d.Left;
        const int n = std::min(d.Width, w - d.Left);
        for (int x = 0; x < n; ++x) {
          if (src[x] != t) dst[x] = lut[src[x]];
        }
      }
      produced += size_t(w) * h * 4;
    }
  }
  DGifCloseFile(gif, &err);
  return produced;
}

size_t LibtiffStrips(const std::string& path, Memory memory) {
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return 0;
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  const tmsize_t stripSize = TIFFStripSize(tif);
  size_t produced = 0;
  OutputBuffer out(size_t(stripSize) * strips, memory);
  for (tstrip_t s = 0; s < strips; ++s) {
    tmsize_t n = TIFFReadEncodedStrip(tif, s, out.Data() + size_t(s) * stripSize, -1);
    if (n < 0) {
      produced = 0;
      break;
    }
    produced += size_t(n);
  }
  TIFFClose(tif);
  return produced;
}

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void JpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

}  // namespace

size_t LibjpegDecode(const std::string& path, Memory memory) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegFail;
  size_t produced = 0;
  std::unique_ptr<OutputBuffer> out;
  if (setjmp(err.jump) == 0) {
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * cinfo.output_components;
    out = std::make_unique<OutputBuffer>(stride * cinfo.output_height, memory);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = out->Data() + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    produced = stride * cinfo.output_height;
  }
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return produced;
}

}  // namespace pelmor::bench
