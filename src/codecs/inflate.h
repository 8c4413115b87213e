// Decompression of zlib-wrapped deflate data (RFC 1950, RFC 1951) from one whole buffer, either
// into one fixed output buffer or handed to a sink piece by piece through a window of the last
// 32 KiB. Nothing grows: output beyond the buffer (or the sink's limit) fails.
//
// The decoder is table-driven with a 64-bit bit buffer, but it accepts and refuses exactly what a
// plain bit-at-a-time decoder over the same rules would:
//  - incomplete and over-subscribed codes are accepted; a bit pattern that matches no code fails
//    only when it is met;
//  - a code whose every symbol is 15 bits long, and a code with no symbol at all, fail to build;
//  - HDIST up to 32 is accepted; literal/length symbols 286 and 287 and distance codes 30 and 31
//    fail only when decoded;
//  - the last four bytes of the zlib stream (the Adler-32 trailer) are never read as deflate data,
//    and neither the trailer nor the header check value is verified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/input_stream.h"
#include "platform/memory_budget.h"

namespace pelmor {

// The deflate bit source and byte sink: bits least significant first over the compressed bytes,
// bytes appended to a fixed output buffer.
class CInflateStream : public CInputStream {
 public:
  CInflateStream(const uint8_t* data, int32_t size, uint8_t* outBuf, int32_t outSize)
      : CInputStream(data, size, outBuf, outSize, false) {}

  // The next n bits (n <= 24), the first read being the least significant; 0 for n <= 0 and -1
  // when the input ends first.
  int32_t ReadBitsLsbFirst(int32_t n);
  // Appends one byte; false, storing nothing, when the output is full.
  bool PutByte(uint8_t b);
  // Appends length bytes copied one at a time from distance bytes back, so that an overlapping
  // copy repeats the pattern. False when distance exceeds the output so far, or as soon as the
  // output is full.
  bool CopyMatch(int32_t distance, int32_t length);

  // Bits consumed since the start of the input, and moving to such a point (for a reader that
  // caches bits of its own).
  uint64_t BitOffset() const { return uint64_t(uint32_t(pos)) * 8 + uint32_t(bitPos); }
  void SetBitOffset(uint64_t bits) {
    pos = static_cast<int32_t>(bits >> 3);
    bitPos = static_cast<int32_t>(bits & 7);
  }
};

// One canonical prefix code (RFC 1951 section 3.2.2) held as lookup tables: a primary table
// indexed by the next input bits, with second-level tables for the codes longer than its index.
class CHuffmanTable {
 public:
  // What the symbols of the code mean, which decides the table entries.
  enum class Alphabet : uint8_t { kCodeLength, kLiteralLength, kDistance };

  // A table entry (32 bits):
  //   bits 0-7    bits the entry consumes: its code bits plus the extra bits that follow them
  //   bits 8-15   index bits of the lookup that may follow it: the distance table's after any
  //               literal/length entry (looked up before a length is told from a literal), the
  //               literal/length table's after a distance, the subtable's after a link. With bits
  //               0-7 this is a BEXTR control: one instruction takes that index out of the bits as
  //               they were before the entry was consumed.
  //   bits 16-19  its code bits (for a subtable link: the primary bits)
  //   bits 20-23  flags below (clear in lengths and distances)
  //   bits 24-31  the value: literal byte, base length less 3, distance code (whose base is
  //               BaseDistance()), or code-length symbol; a link's subtable starts at
  //               LinkStarts()[its primary index]
  // A code longer than the primary table's index takes two entries: a link in the primary table,
  // which consumes the primary bits, and an entry in its subtable, indexed by the bits after them,
  // whose code bits are the rest of the code.
  static constexpr uint32_t kInvalid = 1u << 20;     // no code, or a symbol that must not occur
  static constexpr uint32_t kEndOfBlock = 1u << 21;  // literal/length symbol 256
  static constexpr uint32_t kSubtable = 1u << 22;    // a link to a second-level table
  static constexpr uint32_t kLiteral = 1u << 23;     // literal byte, or any code-length symbol
  // Anything but a literal or a length (or distance) from the primary table.
  static constexpr uint32_t kExceptional = kInvalid | kEndOfBlock | kSubtable;

  static uint32_t Consumed(uint32_t entry) { return entry & 0xFF; }
  static uint32_t NextBits(uint32_t entry) { return (entry >> 8) & 0xFF; }
  static uint32_t CodeLength(uint32_t entry) { return (entry >> 16) & 0xF; }
  static uint32_t ExtraBits(uint32_t entry) { return Consumed(entry) - CodeLength(entry); }
  static uint32_t Value(uint32_t entry) { return entry >> 24; }
  // The base length of a length entry, and the base distance of a distance entry.
  static uint32_t BaseLength(uint32_t entry) { return Value(entry) + 3; }
  static uint32_t BaseDistance(uint32_t entry);

  explicit CHuffmanTable(Alphabet alphabet) : alphabet_(alphabet) {}

  // Assigns canonical codes to count code lengths (0: symbol unused) and fills the tables. False
  // when a length is above 15, when no symbol is used, or when every used code is 15 bits long.
  bool Build(const uint8_t* lengths, int count);

  // The raw tables, for a decoder that keeps them in registers: the primary table has
  // 2^PrimaryBits() entries; the subtable of a link at primary index i starts at LinkStarts()[i]
  // (which holds nothing meaningful for other indices).
  const uint32_t* Entries() const { return entries_.data(); }
  const uint16_t* LinkStarts() const { return linkStarts_.data(); }
  int PrimaryBits() const { return primaryBits_; }

  // Decodes one code through the stream and moves past its bits (not its extra bits). Returns an
  // entry with kInvalid, consuming nothing that matters, when the bits match no code or the input
  // ends inside the code.
  uint32_t Decode(CInflateStream& stream) const;

  int shortest = 0;  // shortest used code length once built
  int longest = 0;   // longest used code length once built

 private:
  uint32_t EntryFor(int symbol, int length) const;

  Alphabet alphabet_;
  int primaryBits_ = 0;
  uint64_t primaryMask_ = 0;
  std::vector<uint32_t> entries_;
  std::vector<uint16_t> linkStarts_;
};

// Receives an inflate's output while it is produced.
class CInflateSink {
 public:
  virtual ~CInflateSink() = default;
  // data[0, n) continues the output: first the bytes the previous call left, then new ones. Sets
  // used to the count taken; the rest is offered again, with what follows, at the next call. With
  // last set (the stream has ended), every byte must be taken. False stops the inflate with failure.
  virtual bool Take(const uint8_t* data, size_t n, bool last, size_t& used) = 0;
};

// The output buffer of a streaming inflate: the stream writes into it, and when it fills up the
// bytes are handed to the sink and all but the last 32 KiB (the reach of a match) and what the
// sink left are dropped.
struct InflateWindow {
  CInflateSink* sink = nullptr;
  uint64_t base = 0;   // output offset of the buffer's first byte
  uint64_t limit = 0;  // output bytes allowed in all
  int32_t capacity = 0;
  int32_t untaken = 0;   // buffer offset of the first byte the sink has not taken
  int32_t maxLeft = 0;   // most bytes the sink may leave untaken
};

// Decodes deflate blocks from a stream until the block marked final. Lives for one stream.
class CInflater {
 public:
  // Without a window the stream's output buffer is the whole output.
  explicit CInflater(CInflateStream& stream, InflateWindow* window = nullptr)
      : stream(stream),
        window(window),
        literals(CHuffmanTable::Alphabet::kLiteralLength),
        distances(CHuffmanTable::Alphabet::kDistance),
        codeLengths(CHuffmanTable::Alphabet::kCodeLength) {}

  // True when every block up to the final one decoded and fitted in the output; input after the
  // final block is ignored.
  bool InflateBlocks();

  // How a stretch of block data ended: the end-of-block code, a fault, or too little input or
  // output left for the fast path.
  enum class Outcome : uint8_t { kEndOfBlock, kFailed, kNeedCare };

 private:

  // Output bytes that may still be written, in all.
  uint64_t OutputLeft() const;
  // With a window whose buffer has less than `room` bytes free while more output may follow,
  // hands the output to the sink and slides the window. False when the sink fails.
  bool MakeRoom(int32_t room);

  bool StoredBlock();
  bool FixedBlock();
  bool DynamicBlock();
  // Literals and matches up to the end-of-block code.
  bool BlockData();
  // The bulk of BlockData: runs while at least 8 input bytes and a whole match of output room
  // remain, then hands back to the careful one-symbol-at-a-time path.
  Outcome FastBlockData();
  // One symbol through the stream's own checked operations.
  Outcome CarefulSymbol();

  CInflateStream& stream;
  InflateWindow* window;
  CHuffmanTable literals;
  CHuffmanTable distances;
  CHuffmanTable codeLengths;
};

// Inflates one whole zlib stream into out[0 .. outSize). Fails on empty input or output, input
// shorter than 6 bytes, a compression method other than 8, a preset dictionary, and any fault in
// the deflate data, including output that does not fit. The window size and header check are not
// examined and the trailer is not read. *produced (when given) is the byte count on success and 0
// otherwise; after a failure the output holds whatever had been written.
bool InflateZlib(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                 size_t* produced);

// The same inflate, under the same rules, with an output of at most outLimit bytes handed to sink
// as it is produced. The sink may leave up to maxLeft bytes untaken at a time (a partial row, say);
// the window buffer holds 32 KiB, those and a working stretch (at least 512 bytes; the default
// keeps the buffer within the processor's second-level cache), and is drawn from budget.
// *produced (when given) is the byte count on success and 0 otherwise.
constexpr size_t kInflateStretch = 192 * 1024;
bool InflateZlibToSink(const uint8_t* in, size_t inSize, uint64_t outLimit, CInflateSink& sink,
                       size_t maxLeft, MemoryBudget& budget, uint64_t* produced,
                       size_t stretch = kInflateStretch);

}  // namespace pelmor
