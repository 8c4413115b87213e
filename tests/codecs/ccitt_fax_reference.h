// The fax decoding algorithm step by step, one bit at a time through CInputStream::ReadBit and
// CTiffBitStream::WriteBits, with codes looked for by length in the code lists: the oracle the
// table-driven CFaxDecoder must agree with, in the tests and in the fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>

#include "codecs/ccitt_fax.h"
#include "model/input_stream.h"

namespace pelmor::test {

class FaxReference {
 public:
  FaxReference(CTiffBitStream* stream, bool whiteIsZero, bool t6, bool twoDimensional,
               bool byteAlignedEol, bool countTagBit)
      : s_(stream),
        t6_(t6),
        twoD_(twoDimensional || t6),
        byteAligned_(byteAlignedEol || t6),
        countTagBit_(countTagBit),
        whiteBit_(whiteIsZero ? 0 : 1),
        blackBit_(whiteIsZero ? 1 : 0) {}

  bool Decode(int32_t width, int32_t rows) {
    if (rows <= 0) return true;
    if (width <= 0) return false;
    const FaxCodeTable& white = FaxWhiteCodes();
    const FaxCodeTable& black = FaxBlackCodes();
    const FaxCodeTable& mode = FaxModeCodes();
    static constexpr int32_t kOffset[9] = {0, 0, 0, 1, 2, 3, -1, -2, -3};
    bool isWhite = true;
    bool twoDLine = t6_;
    bool atLineStart = !t6_;
    int64_t a0 = 0;
    const uint8_t* ref = nullptr;
    const uint8_t* cur = Out();
    int32_t b1 = width;
    const FaxCodeTable* table = t6_ ? &mode : &white;
    int32_t left = rows;
    int32_t done = 0;
    for (;;) {
      int32_t v;
      if (!DecodeCode(*table, atLineStart, v)) return false;
      bool rowEnds = false;
      if (v == -1) {
        atLineStart = false;
        isWhite = true;
        table = &white;
        a0 = 0;
        if (twoD_) {
          const int32_t tag = s_->ReadBit();
          if (tag < 0) return false;
          twoDLine = tag == 0;
          if (twoDLine) table = &mode;
          ref = cur;
          cur = Out();
        }
        if (twoDLine) {
          if (done == 0) return false;
          b1 = Find(ref, -1, width, blackBit_);
        }
        continue;
      }
      if (twoDLine) {
        if (v > 8) return false;
        const int32_t colour = isWhite ? whiteBit_ : blackBit_;
        const int32_t other = isWhite ? blackBit_ : whiteBit_;
        if (v == 0) {
          const int32_t b2 = Find(ref, b1, width, -1);
          if (b2 - a0 < 0 || !s_->WriteBits(static_cast<int32_t>(b2 - a0), colour)) return false;
          a0 = b2;
        } else if (v == 1) {
          int64_t r1, r2;
          if (!ReadRun(isWhite ? white : black, r1) || !ReadRun(isWhite ? black : white, r2)) {
            return false;
          }
          if (a0 + r1 + r2 > width) return false;
          if (!s_->WriteBits(static_cast<int32_t>(r1), colour) ||
              !s_->WriteBits(static_cast<int32_t>(r2), other)) {
            return false;
          }
          a0 += r1 + r2;
        } else {
          const int64_t a1 = int64_t{b1} + kOffset[v];
          if (a1 - a0 < 0 || a1 > width) return false;
          if (!s_->WriteBits(static_cast<int32_t>(a1 - a0), colour)) return false;
          a0 = a1;
          isWhite = !isWhite;
        }
        if (a0 == width) {
          rowEnds = true;
        } else {
          b1 = Find(ref, static_cast<int32_t>(a0), width, isWhite ? blackBit_ : whiteBit_);
        }
      } else {
        if (!s_->WriteBits(v, isWhite ? whiteBit_ : blackBit_)) return false;
        a0 += v;
        if (v >= 64) continue;
        if (a0 == width) {
          rowEnds = true;
        } else if (a0 > width) {
          return false;
        } else {
          isWhite = !isWhite;
          atLineStart = false;
          table = isWhite ? &white : &black;
        }
      }
      if (rowEnds) {
        --left;
        ++done;
        a0 = 0;
        s_->AlignOutput();
        if (left == 0) return true;
        isWhite = true;
        if (t6_) {
          ref = cur;
          cur = Out();
          b1 = Find(ref, -1, width, blackBit_);
        } else {
          atLineStart = true;
          twoDLine = false;
          table = &white;
        }
      }
    }
  }

 private:
  const uint8_t* Out() const { return s_->outBuf + s_->outPos + (s_->outBitPos >= 8 ? 1 : 0); }

  bool DecodeCode(const FaxCodeTable& t, bool atLineStart, int32_t& value) {
    if (atLineStart && byteAligned_) {
      const int32_t n = t.eolLength + (twoD_ && countTagBit_ ? 1 : 0);
      int32_t pad = (s_->bitPos + n) % 8;
      if (pad > 0) pad = 8 - pad;
      for (int32_t i = 0; i < pad; ++i) {
        if (s_->ReadBit() != 0) return false;
      }
      while (s_->PeekByte() == 0) {
        for (int i = 0; i < 8; ++i) {
          if (s_->ReadBit() != 0) return false;
        }
      }
    }
    uint32_t code = 0;
    int32_t length = 0;
    for (;;) {
      const int32_t bit = s_->ReadBit();
      if (bit < 0) return false;
      code = code * 2 + static_cast<uint32_t>(bit);
      ++length;
      if (length < t.shortest) continue;
      if (length > t.longest) return false;
      for (int32_t i = 0; i < t.count; ++i) {
        if (t.codes[i].length == length && t.codes[i].bits == code) {
          value = t.codes[i].value;
          return true;
        }
      }
    }
  }

  bool ReadRun(const FaxCodeTable& t, int64_t& total) {
    total = 0;
    for (;;) {
      int32_t v;
      if (!DecodeCode(t, false, v) || v < 0) return false;
      total += v;
      if (v < 64) return true;
    }
  }

  // Bit by bit over the row's whole bytes (those inside the output buffer).
  int32_t Find(const uint8_t* ref, int32_t start, int32_t width, int32_t target) const {
    if (ref == nullptr) return width;
    const int64_t bytes = std::min<int64_t>((int64_t{width} + 7) / 8,
                                            s_->outBuf + s_->outSize - ref);
    auto bitAt = [&](int64_t x) { return ref[x / 8] >> (7 - x % 8) & 1; };
    int32_t s;
    int64_t x;
    if (start < 0) {
      s = whiteBit_;
      x = 0;
    } else {
      if (start >= width) return width;
      if (start / 8 >= bytes) return width;
      s = bitAt(start);
      x = int64_t{start} + 1;
    }
    if (target == -1) target = 1 - s;
    while (x < bytes * 8 && bitAt(x) == s) ++x;
    while (x < bytes * 8 && bitAt(x) != target) ++x;
    return x < width ? static_cast<int32_t>(x) : width;
  }

  CTiffBitStream* s_;
  bool t6_;
  bool twoD_;
  bool byteAligned_;
  bool countTagBit_;
  int32_t whiteBit_;
  int32_t blackBit_;
};

}  // namespace pelmor::test
