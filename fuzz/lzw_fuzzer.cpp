// The LZW decoder alone, in both bit orders and with either growth rule, compared with the
// step-by-step algorithm of the tests: the two must agree on every input, and the decoder must
// read nothing outside its input.
#include <algorithm>
#include <cstdlib>

#include "../tests/codecs/lzw_reference.h"
#include "codecs/lzw_decoder.h"

namespace {

class Sink : public pelmor::CPlainPixelSink {
 public:
  Sink(const uint8_t* data, size_t size, bool ignoreAfterFirst)
      : CPlainPixelSink(data, static_cast<int32_t>(size), nullptr, 0),
        ignoreAfterFirst_(ignoreAfterFirst) {}
  int16_t PutLine(const uint8_t* line, int32_t n) override {
    lines.emplace_back(line, line + n);
    if (ignoreAfterFirst_) ignoreFurtherLines = true;
    return 0;
  }
  pelmor::LzwLines lines;

 private:
  bool ignoreAfterFirst_;
};

}  // namespace

// First byte: root size (1 ... 10, so that refused sizes come up too), bit order, early change,
// whether the sink ignores every line after the first, whether it is a sink that only appends
// lines to its pixels (then the ignoring is its own, once they are full); second byte: line width
// - 1, which also sizes those pixels; the rest is the compressed stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 16)) return 0;
  const int root = 1 + data[0] % 10;
  const bool msb = (data[0] & 0x10) != 0;
  const bool early = (data[0] & 0x20) != 0;
  const bool ignoreAfterFirst = (data[0] & 0x40) != 0;
  const bool appending = (data[0] & 0x80) != 0;
  const int width = 1 + data[1];
  // A copy of exactly the stream's size, so that a read past its end is caught.
  const pelmor::LzwBytes stream(data + 2, data + size);
  if (appending) {
    // Around the size from which lines are written in place, and well above it.
    // Filled with a mark, so that bytes written past pixelsReached show.
    pelmor::LzwBytes pixels(8192 + 96 * size_t{data[1]}, 0xA5);
    pelmor::CAppendingPixelSink sink(stream.data(), static_cast<int32_t>(stream.size()),
                                     pixels.data(), static_cast<int32_t>(pixels.size()));
    pelmor::CLzwDecoder decoder(
        static_cast<int16_t>(root),
        msb ? pelmor::CLzwDecoder::kMsbFirst : pelmor::CLzwDecoder::kLsbFirst, early, &sink);
    int32_t bad = 0;
    const int16_t result = decoder.Decode(width, &bad);
    const pelmor::LzwOutcome want = pelmor::LzwReference(stream, root, msb, early, width);
    pelmor::LzwBytes expected;
    for (const auto& l : want.lines) expected.insert(expected.end(), l.begin(), l.end());
    if (expected.size() > pixels.size()) expected.resize(pixels.size());
    if (result != want.result || bad != want.bad ||
        static_cast<size_t>(sink.pixelsPos) != expected.size() ||
        !std::equal(expected.begin(), expected.end(), pixels.begin()) ||
        sink.pixelsReached < sink.pixelsPos ||
        std::any_of(pixels.begin() + sink.pixelsReached, pixels.end(),
                    [](uint8_t b) { return b != 0xA5; })) {
      std::abort();
    }
    return 0;
  }
  Sink sink(stream.data(), stream.size(), ignoreAfterFirst);
  pelmor::CLzwDecoder decoder(static_cast<int16_t>(root),
                              msb ? pelmor::CLzwDecoder::kMsbFirst : pelmor::CLzwDecoder::kLsbFirst,
                              early, &sink);
  pelmor::LzwOutcome got;
  got.result = decoder.Decode(width, &got.bad);
  got.lines = std::move(sink.lines);
  pelmor::LzwOutcome want = pelmor::LzwReference(stream, root, msb, early, width);
  if (ignoreAfterFirst) {
    // Lines already decoded when the sink said so may still arrive; none after them.
    if (got.lines.size() > want.lines.size()) std::abort();
    want.lines.resize(got.lines.size());
  }
  if (!(got == want)) std::abort();
  return 0;
}
