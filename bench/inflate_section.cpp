// The inflater alone, against zlib and libdeflate, on the image data of the generated PNG files:
// the IDAT payloads joined into one zlib stream, inflated into a fresh buffer of the exact size.
// zlib-ng is not measured: Debian 12 has no package of it.
#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench.h"
#include "codecs/inflate.h"
#include "platform/byte_reader.h"
#include "platform/file.h"

namespace pelmor::bench {

namespace {

struct Stream {
  std::string data;  // the joined IDAT payloads
  size_t inflated = 0;
};

// The zlib stream of a PNG file, and its inflated size (found with zlib once).
std::shared_ptr<Stream> ImageData(const std::string& path) {
  std::string file;
  if (!platform::ReadWholeFile(path.c_str(), file) || file.size() < 8) return nullptr;
  auto s = std::make_shared<Stream>();
  CByteReader r(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  r.Skip(8);
  uint32_t length = 0;
  uint8_t type[4];
  while (r.ReadU32BE(length) && r.ReadBytes(type, 4)) {
    const uint8_t* payload = r.Take(length);
    if (payload == nullptr || !r.Skip(4)) break;
    if (std::memcmp(type, "IDAT", 4) == 0) s->data.append(reinterpret_cast<const char*>(payload), length);
    if (std::memcmp(type, "IEND", 4) == 0) break;
  }
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return nullptr;
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[1 << 20]);
  zs.next_in = reinterpret_cast<Bytef*>(s->data.data());
  zs.avail_in = uInt(s->data.size());
  int rc;
  do {
    zs.next_out = chunk.get();
    zs.avail_out = 1 << 20;
    rc = inflate(&zs, Z_NO_FLUSH);
  } while (rc == Z_OK);
  s->inflated = zs.total_out;
  inflateEnd(&zs);
  return rc == Z_STREAM_END ? s : nullptr;
}

// Ours, into memory from our allocator as the PNG reader's would be.
size_t OursInflate(const Stream& s) {
  ImageBlock out = ImageBlock::Allocate(Budget(), s.inflated);
  size_t produced = 0;
  const bool ok = out && InflateZlib(reinterpret_cast<const uint8_t*>(s.data.data()), s.data.size(),
                                     out.Data(), s.inflated, &produced);
  return ok ? produced : 0;
}

size_t ZlibInflate(const Stream& s, Memory memory) {
  OutputBuffer out(s.inflated, memory);
  uLongf produced = uLongf(s.inflated);
  const int rc = uncompress(out.Data(), &produced, reinterpret_cast<const Bytef*>(s.data.data()),
                            uLong(s.data.size()));
  return rc == Z_OK ? size_t(produced) : 0;
}

// libdeflate checks the Adler-32 trailer as it goes; we do not read it.
size_t LibdeflateInflate(const Stream& s, Memory memory) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  if (d == nullptr) return 0;
  OutputBuffer out(s.inflated, memory);
  size_t produced = 0;
  const libdeflate_result rc = libdeflate_zlib_decompress(d, s.data.data(), s.data.size(), out.Data(),
                                                          s.inflated, &produced);
  libdeflate_free_decompressor(d);
  return rc == LIBDEFLATE_SUCCESS ? produced : 0;
}

void Inflate(Session& s) {
  s.Skip("inflate zlib-ng", "Debian 12 has no zlib-ng package");
  for (const char* f : {"rgb8.png", "palette.png", "grey8.png"}) {
    const std::string path = s.Image(f);
    if (path.empty()) continue;
    auto stream = ImageData(path);
    if (stream == nullptr) {
      s.Skip(std::string("inflate ") + f, "the image data does not inflate with zlib");
      continue;
    }
    Case c;
    c.label = std::string("inflate ") + f + " IDAT";
    c.ours = [stream] { return OursInflate(*stream); };
    c.peers.push_back({"zlib", [stream] { return ZlibInflate(*stream, Memory::kDefault); },
                       [stream] { return ZlibInflate(*stream, Memory::kOurs); }});
    c.peers.push_back({"libdeflate", [stream] { return LibdeflateInflate(*stream, Memory::kDefault); },
                       [stream] { return LibdeflateInflate(*stream, Memory::kOurs); }});
    s.Add(std::move(c));
  }
}

const Section kInflate("inflate", Inflate);

}  // namespace

}  // namespace pelmor::bench
