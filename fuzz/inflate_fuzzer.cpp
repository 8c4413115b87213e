// The inflater alone, checked against the plain bit-at-a-time decoder of the unit tests: both must
// accept the same streams and produce the same bytes, and nothing past the produced bytes may
// change. The form that hands its output to a sink through a small window must agree with both.
// An input is either a PNG file, whose joined image data is the stream, or two bytes of output
// capacity followed by the stream.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/inflate.h"
#include "codecs/inflate_fixtures.h"
#include "platform/byte_reader.h"

namespace {

constexpr uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The IDAT payloads of a PNG file, joined (as far as the chunks can be followed).
pelmor::test::Bytes ImageData(const uint8_t* data, size_t size) {
  pelmor::test::Bytes out;
  pelmor::CByteReader r(data, size);
  r.Skip(8);
  uint32_t length = 0;
  uint8_t type[4];
  while (r.ReadU32BE(length) && r.ReadBytes(type, 4)) {
    const uint8_t* payload = r.Take(length);
    if (payload == nullptr || !r.Skip(4)) break;
    if (std::memcmp(type, "IDAT", 4) == 0) out.insert(out.end(), payload, payload + length);
  }
  return out;
}

// Hands the output over leaving a few bytes each time; keeps what it took.
class Collector : public pelmor::CInflateSink {
 public:
  explicit Collector(size_t maxLeft) : maxLeft_(maxLeft) {}
  bool Take(const uint8_t* data, size_t n, bool last, size_t& used) override {
    const size_t leave = last ? 0 : std::min(n, (calls_++ * 7919) % (maxLeft_ + 1));
    used = n - leave;
    got.insert(got.end(), data, data + used);
    return true;
  }
  pelmor::test::Bytes got;

 private:
  size_t maxLeft_;
  size_t calls_ = 0;
};

void CheckSinkForm(const pelmor::test::Bytes& zlib, size_t capacity, bool ok, const uint8_t* out,
                   size_t produced) {
  const size_t maxLeft = capacity % 300;
  Collector sink(maxLeft);
  uint64_t streamed = 0;
  pelmor::MemoryBudget budget;
  const bool streamOk = capacity > 0 && pelmor::InflateZlibToSink(zlib.data(), zlib.size(), capacity, sink,
                                                                  maxLeft, budget, &streamed, 512 + capacity % 1000);
  if (streamOk != ok) __builtin_trap();
  if (!ok) return;
  if (streamed != produced || sink.got.size() != produced) __builtin_trap();
  if (produced != 0 && std::memcmp(sink.got.data(), out, produced) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  pelmor::test::Bytes zlib;
  size_t capacity;
  if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) {
    zlib = ImageData(data, size);
    capacity = std::min<size_t>(zlib.size() * 8 + 1024, size_t{1} << 20);
  } else {
    capacity = size_t(data[0]) << 8 | data[1];
    zlib.assign(data + 2, data + size);
  }
  std::vector<uint8_t> fast(capacity + 16, 0xA5);
  std::vector<uint8_t> plain(capacity, 0xA5);
  size_t produced = 0;
  const bool ok = pelmor::InflateZlib(zlib.data(), zlib.size(), fast.data(), capacity, &produced);
  const auto reference = pelmor::test::ReferenceInflate(zlib, plain.data(), capacity);
  if (ok != reference.has_value()) __builtin_trap();
  CheckSinkForm(zlib, capacity, ok, fast.data(), produced);
  if (!ok) return 0;
  if (produced != *reference) __builtin_trap();
  if (produced != 0 && std::memcmp(fast.data(), plain.data(), produced) != 0) __builtin_trap();
  for (size_t i = produced; i < fast.size(); ++i) {
    if (fast[i] != 0xA5) __builtin_trap();
  }
  return 0;
}
