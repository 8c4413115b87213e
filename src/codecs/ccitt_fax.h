// Decoding of bilevel rows coded with ITU-T T.4 (one- and two-dimensional, TIFF compression 3) or
// ITU-T T.6 (TIFF compression 4). Format-free: compressed bits come from a CTiffBitStream, and the
// rows go to that stream's output, one bit per pixel, each row starting on a byte boundary and
// taking (width + 7) / 8 bytes; pixel x of a row is bit 7 - (x mod 8) of byte x / 8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/input_stream.h"
#include "platform/memory_budget.h"

namespace pelmor {

// One code of a run-length or mode code set: `length` bits, most significant first.
struct FaxCode {
  int16_t value;  // run length, mode number, or -1 for an end-of-line code
  uint8_t length;
  uint16_t bits;
};

// A code set with its direct lookup: the next `longest` bits of the input index `lookup`, whose
// entry gives the value and length of the one code they start with (length 0: none does).
struct FaxCodeTable {
  struct Hit {
    int16_t value;
    uint8_t length;
  };
  const FaxCode* codes;  // sorted by length
  int32_t count;
  int32_t shortest;
  int32_t longest;
  int32_t eolLength;  // length of the end-of-line code used for byte alignment, -1 for none
  const Hit* lookup;  // 2^longest entries
};

// The white and black run-length codes of T.4 (terminating 0-63, make-up 64-1728, the extended
// make-up codes 1792-2560 shared by both colours, and an end-of-line entry with value -1: the
// twelve-bit EOL for white, eleven 0 bits for black), and the two-dimensional mode codes: pass 0,
// horizontal 1, vertical 0 as 2, vertical right 1..3 as 3..5, vertical left 1..3 as 6..8.
const FaxCodeTable& FaxWhiteCodes();
const FaxCodeTable& FaxBlackCodes();
const FaxCodeTable& FaxModeCodes();

class CFaxDecoder {
 public:
  // twoDimensional: T.4 lines may be two-dimensional (T4Options bit 0); byteAlignedEol: EOL codes
  // end on byte boundaries (T4Options bit 2); countTagBit: that alignment includes the
  // one-/two-dimensional tag bit after the EOL. T.6 implies both of the first two. The decoder's
  // work buffers are drawn from `budget` when one is given (it must outlive the decoder).
  CFaxDecoder(CTiffBitStream* stream, bool whiteIsZero, bool t6, bool twoDimensional,
              bool byteAlignedEol, bool countTagBit, MemoryBudget* budget = nullptr);

  // Decodes exactly `rows` rows of `width` pixels; true when all of them are complete. Stops as
  // soon as the last row is complete, without looking at what follows. False too when the budget
  // refuses the work buffers, which grow with the input rather than with the width.
  bool Decode(int32_t width, int32_t rows);

  // The first changing element of the reference row at or after the scan start whose bit is
  // `target` (-1: the colour opposite to the start colour). The scan starts at pixel 0 with the
  // white colour when start < 0, else at start + 1 with the colour of pixel `start`. width when
  // there is none or no reference row; never more than width.
  int32_t FindChangingElement(const uint8_t* refLine, int32_t start, int32_t width,
                              int32_t target) const;

 private:
  class BitReader;
  class RowDecoder;
  // The changing elements of a row decoded in full: the pixels whose colour differs from the
  // pixel before (white before pixel 0), then two sentinels once the row is complete.
  struct Changes {
    int32_t* at = nullptr;  // room for width + 2
    size_t count = 0;
    bool complete = false;
  };

  bool NextCode(BitReader& in, const FaxCodeTable& table, int32_t& value) const;
  bool DecodeCode(BitReader& in, const FaxCodeTable& table, bool atLineStart,
                  int32_t& value) const;
  bool ReadRun(BitReader& in, const FaxCodeTable& table, int64_t& length) const;
  bool DecodeTwoDRow(BitReader& in, const Changes& ref, Changes& row, int32_t width) const;
  void FillRow(const Changes& row, int32_t width);
  // Output. Bits are gathered in a 64-bit word and stored when the word is full; Sync stores
  // the bytes of the word reached so far, as CTiffBitStream::WriteBits would have.
  void StartOutput();
  bool WriteRun(int64_t count, int32_t bit);
  void AlignOutput();
  void Sync();
  void StoreWord();
  // First pixel in [from, limit) of the row at refLine whose bit is `bit`, or limit.
  int64_t FindBit(const uint8_t* refLine, int64_t from, int64_t limit, int32_t bit) const;
  // FindChangingElement over the changes of a complete reference row; hint carries the index
  // reached from one search to the next.
  int32_t FindInChanges(const Changes& ref, size_t& hint, int32_t start, int32_t width,
                        int32_t target) const;

  CTiffBitStream* stream;  // not owned
  MemoryBudget* budget;    // not owned; may be null
  bool t6;
  bool twoD;
  bool byteAligned;
  bool countTagBit;
  int32_t whiteBit;
  int32_t blackBit;
  int64_t outBit = 0;     // output position in bits, mirrored into the stream
  int64_t outLimit = 0;   // bits in the output
  uint64_t word = 0;      // the output word being built, first bit most significant
  int64_t wordStart = 0;  // its byte offset: outBit / 64 * 8
};

}  // namespace pelmor
