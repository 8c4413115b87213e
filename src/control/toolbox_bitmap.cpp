#include "control/toolbox_bitmap.h"

#include <array>

#include "control/module_registration.h"

namespace pelmor {

namespace {

// A framed picture of a hill under a sun; one hex digit per pixel, an index into the palette.
constexpr const char* kPicture[16] = {
    "8888888888888888", "8FFFFFFFFFFFFFF8", "8FBBBBBBBBBEEBF8", "8FBBBBBBBBEEEEF8",
    "8FBBBBBBBBEEEEF8", "8FBBBBBBBBBEEBF8", "8FBBBB2BBBBBBBF8", "8FBBB222BBBBBBF8",
    "8FBB22222BBBBBF8", "8FB2222222BBB2F8", "8FA22222222B22F8", "8FAAAAAAAAA222F8",
    "8FAAAAAAAAAAAAF8", "8FAAAAAAAAAAAAF8", "8FFFFFFFFFFFFFF8", "8888888888888888",
};

// The 16 standard colours as red, green, blue.
constexpr uint8_t kPalette[16][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},   {0, 128, 128},
    {128, 0, 0},     {128, 0, 128},   {128, 128, 0}, {192, 192, 192},
    {128, 128, 128}, {0, 0, 255},     {0, 255, 0},   {0, 255, 255},
    {255, 0, 0},     {255, 0, 255},   {255, 255, 0}, {255, 255, 255},
};

constexpr size_t kHeaderSize = 14 + 40 + 16 * 4;
constexpr size_t kRowBytes = 8;  // 16 pixels of 4 bits, already a multiple of 4 bytes
constexpr size_t kFileSize = kHeaderSize + 16 * kRowBytes;

constexpr int Nibble(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

constexpr std::array<uint8_t, kFileSize> MakeBitmap() {
  std::array<uint8_t, kFileSize> b{};
  size_t at = 0;
  auto u16 = [&](uint32_t v) {
    b[at++] = static_cast<uint8_t>(v);
    b[at++] = static_cast<uint8_t>(v >> 8);
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  u16(0x4D42);  // "BM"
  u32(kFileSize);
  u32(0);
  u32(kHeaderSize);
  u32(40);  // BITMAPINFOHEADER
  u32(16);
  u32(16);
  u16(1);
  u16(4);
  u32(0);  // BI_RGB
  u32(16 * kRowBytes);
  u32(2835);
  u32(2835);
  u32(16);
  u32(0);
  for (const auto& c : kPalette) {
    b[at++] = c[2];
    b[at++] = c[1];
    b[at++] = c[0];
    b[at++] = 0;
  }
  for (int row = 15; row >= 0; --row) {  // bottom-up
    for (int x = 0; x < 16; x += 2) {
      b[at++] = static_cast<uint8_t>(Nibble(kPicture[row][x]) << 4 | Nibble(kPicture[row][x + 1]));
    }
  }
  return b;
}

constexpr std::array<uint8_t, kFileSize> kToolboxBitmap = MakeBitmap();

}  // namespace

std::span<const uint8_t> ModuleBitmap(uint32_t id) {
  if (id == kToolboxBitmapId) return kToolboxBitmap;
  return {};
}

}  // namespace pelmor
