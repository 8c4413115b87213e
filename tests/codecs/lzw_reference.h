// The LZW decoding algorithm followed step by step (one symbol per push, bits one at a time),
// kept as an oracle for CLzwDecoder's direct-writing fast path: the unit tests and the LZW fuzz
// target compare the two.
#pragma once

#include <cstdint>
#include <vector>

namespace pelmor {

using LzwBytes = std::vector<uint8_t>;
using LzwLines = std::vector<LzwBytes>;

struct LzwOutcome {
  int16_t result = 0;
  int32_t bad = 0;
  LzwLines lines;
  bool operator==(const LzwOutcome&) const = default;
};

// Lines are delivered to a sink that always answers 0.
inline LzwOutcome LzwReference(const LzwBytes& in, int root, bool msb, bool early, int width) {
  LzwOutcome o;
  if (root < 2 || root > 9) return o.result = -20, o;
  if (width < 1) return o.result = -10, o;
  size_t bit = 0;
  int size = root + 1;
  auto next = [&]() {
    if (bit + size > in.size() * 8) return -1;
    int code = 0;
    for (int i = 0; i < size; ++i, ++bit) {
      const int b = msb ? in[bit / 8] >> (7 - bit % 8) & 1 : in[bit / 8] >> (bit % 8) & 1;
      code |= msb ? b << (size - 1 - i) : b << i;
    }
    return code;
  };
  const int clear = 1 << root, end = clear + 1, first = clear + 2;
  std::vector<int> prefix(4096, 0), suffix(4096, 0);
  int top = 1 << size, slot = first, old = 0, firstSym = 0, last = -1;
  LzwBytes line;
  auto emit = [&](int s) {
    line.push_back(uint8_t(s));
    if (int(line.size()) == width) {
      o.lines.push_back(line);
      line.clear();
      last = 0;
    }
  };
  bool start = true;
  for (int v = next(); v != end; v = next()) {
    if (v < 0) return o;
    if (v == clear || start) {
      if (v == clear) {
        size = root + 1, top = 1 << size, slot = first;
        while ((v = next()) == clear) {}
        if (v == end) break;
        if (v < 0) return o.result = int16_t(last), o;
      }
      start = false;
      if (v >= slot) v = 0;
      old = firstSym = v;
      emit(v);
      continue;
    }
    std::vector<int> stack;
    int code = v;
    if (v >= slot) {
      o.bad += v > slot;
      stack.push_back(firstSym);
      code = old;
    }
    while (code >= first) {
      if (stack.size() >= 4096) return o.result = -1, o;
      stack.push_back(suffix[code]);
      code = prefix[code];
    }
    if (stack.size() >= 4096) return o.result = -1, o;
    stack.push_back(code);
    if (slot < top) suffix[slot] = firstSym = code, prefix[slot++] = old, old = v;
    if (size < 12 && slot >= (early ? top - 1 : top)) top *= 2, ++size;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) emit(*it);
  }
  if (!line.empty()) o.lines.push_back(line);
  return o;
}

}  // namespace pelmor
