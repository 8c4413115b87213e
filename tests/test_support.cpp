#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace pelmor::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("pelmor-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

Bytes Ramp(size_t n, uint8_t start, uint8_t step) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(start + i * step);
  return b;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

ByteWriter& ByteWriter::U8(uint32_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  return *this;
}
ByteWriter& ByteWriter::U16(uint32_t v) { return U8(v).U8(v >> 8); }
ByteWriter& ByteWriter::U32(uint32_t v) { return U16(v).U16(v >> 16); }
ByteWriter& ByteWriter::U16BE(uint32_t v) { return U8(v >> 8).U8(v); }
ByteWriter& ByteWriter::U32BE(uint32_t v) { return U16BE(v >> 16).U16BE(v); }
ByteWriter& ByteWriter::Append(const Bytes& b) {
  bytes_.insert(bytes_.end(), b.begin(), b.end());
  return *this;
}
ByteWriter& ByteWriter::Fill(size_t n, uint8_t v) {
  bytes_.insert(bytes_.end(), n, v);
  return *this;
}
ByteWriter& ByteWriter::Text(const std::string& s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  return *this;
}

Rgb DocumentPixels(const CImageDoc& doc) {
  Rgb out;
  const BITMAPINFOHEADER* h = doc.header;
  if (h == nullptr || doc.bits == nullptr || h->biCompression != BI_RGB) return out;
  out.width = h->biWidth;
  out.height = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  const uint32_t stride = DibRowBytes(static_cast<uint32_t>(out.width), h->biBitCount);
  const auto* table = reinterpret_cast<const uint8_t*>(h) + DibColorTableOffset(h);
  const int32_t colors = ColorCountOf(h);
  out.bgr.reserve(size_t(out.width) * out.height * 3);
  for (int y = 0; y < out.height; ++y) {
    const int memRow = h->biHeight < 0 ? y : out.height - 1 - y;
    const uint8_t* row = doc.bits + size_t(memRow) * stride;
    for (int x = 0; x < out.width; ++x) {
      uint8_t b = 0, g = 0, r = 0;
      switch (h->biBitCount) {
        case 1:
        case 2:
        case 4:
        case 8: {
          const int bpp = h->biBitCount;
          const int perByte = 8 / bpp;
          const int index =
              (row[x / perByte] >> (8 - bpp * (x % perByte + 1))) & ((1 << bpp) - 1);
          if (index < colors) {
            b = table[4 * index];
            g = table[4 * index + 1];
            r = table[4 * index + 2];
          }
          break;
        }
        case 16: {
          const uint16_t w = static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8);
          auto widen = [](int v) { return static_cast<uint8_t>(v << 3 | v >> 2); };
          r = widen((w >> 10) & 31);
          g = widen((w >> 5) & 31);
          b = widen(w & 31);
          break;
        }
        case 24:
          b = row[3 * x];
          g = row[3 * x + 1];
          r = row[3 * x + 2];
          break;
        case 32:
          b = row[4 * x];
          g = row[4 * x + 1];
          r = row[4 * x + 2];
          break;
      }
      out.bgr.push_back(b);
      out.bgr.push_back(g);
      out.bgr.push_back(r);
    }
  }
  return out;
}

bool RunCommand(const std::string& command) {
  const std::string quiet = command + " >/dev/null 2>&1";
  return std::system(quiet.c_str()) == 0;
}

bool HaveProgram(const std::string& name) { return RunCommand("command -v " + name); }

std::optional<fs::path> SharedCorpus() {
  std::vector<fs::path> candidates;
  if (const char* env = std::getenv("PELMOR_SHARED")) candidates.emplace_back(env);
#ifdef PELMOR_SOURCE_DIR
  candidates.push_back(fs::path(PELMOR_SOURCE_DIR) / ".." / "shared");
  candidates.push_back(fs::path(PELMOR_SOURCE_DIR) / ".." / ".." / "shared");
#endif
  candidates.emplace_back("/work/shared");
  for (const auto& c : candidates) {
    std::error_code ec;
    if (fs::exists(c / "corpus" / "EXPECTED.json", ec)) return c / "corpus";
  }
  return std::nullopt;
}

std::string SamplePath(const std::string& name) {
  return (fs::path(PELMOR_SOURCE_DIR) / "samples" / name).string();
}

}  // namespace pelmor::test
