// Variable-code-length LZW as GIF image data and TIFF LZW strips use it: codes of up to 12 bits, a
// 4096-entry dictionary, clear and end codes. The two users differ only in the bit order of the
// codes and in whether the code length grows one code early. The decoder pulls bytes from a
// CPixelSink and hands it the decoded symbols line by line; it knows nothing of files or images.
#pragma once

#include <cstdint>

#include "model/pixel_sink.h"
#include "platform/memory_budget.h"

namespace pelmor {

// A sink whose input is simply inData[inPos ... inSize). The decoder recognises it and reads that
// array itself instead of calling GetByte for every byte; derive from it whenever the compressed
// bytes are contiguous in memory.
class CPlainPixelSink : public CPixelSink {
 public:
  using CPixelSink::CPixelSink;
  int32_t GetByte() final { return inPos < inSize ? inData[inPos++] : -1; }

  // PutLine may set this when it would ignore every later line and answer it with 0 (its
  // picture is complete). The decoder then hands over no more lines but still reads the rest of
  // the stream, so that its result is what it would have been, without the cost of lines nobody
  // uses. (One bound: after a code above the next free one, chains are followed for at most
  // about 2^25 steps more; a stream needing more ends there with 0, its picture being complete.)
  bool ignoreFurtherLines = false;
};

// A plain sink whose lines are simply appended to pixels[pixelsPos, pixelsSize): the part of a
// line that does not fit is dropped, and once the buffer is full every later line is ignored.
// The decoder writes the symbols of such lines straight into pixels rather than handing them
// over one by one, with the same results; bytes of pixels past the final pixelsPos may have been
// written over.
class CAppendingPixelSink : public CPlainPixelSink {
 public:
  using CPlainPixelSink::CPlainPixelSink;
  int16_t PutLine(const uint8_t* line, int32_t count) final;

  // After Decode: bytes of pixels from pixelsPos up to here may have been written over.
  int32_t pixelsReached = 0;
};

class CLzwDecoder {
 public:
  static constexpr int32_t kLsbFirst = 1;  // GIF
  static constexpr int32_t kMsbFirst = 2;  // TIFF (any value other than 1 means this)

  // Result codes of Decode besides 0 and the sink's own statuses.
  static constexpr int16_t kBadRootSize = -20;
  static constexpr int16_t kNoLineBuffer = -10;
  static constexpr int16_t kBadChain = -1;
  // Bytes past the end of a string that writing it may touch.
  static constexpr int kStringSlack = 8;

  // rootSize: bits of a literal symbol (GIF's minimum code size), 2 ... 9. bitOrder: kLsbFirst
  // assembles codes from the low bits of each byte upwards, anything else from the high bits
  // down. earlyChange: the code length grows one code before the dictionary reaches the next
  // power of two (TIFF) instead of when it reaches it (GIF).
  // The line buffer is drawn from `budget` when one is given (it must outlive the decoder).
  CLzwDecoder(int16_t rootSize, int32_t bitOrder, bool earlyChange, CPixelSink* sink,
              MemoryBudget* budget = nullptr);

  // Decodes the whole stream, calling sink->PutLine for every lineWidth symbols and once more for
  // a partial last line at the end code. Results: 0 when the end code was reached with every line
  // delivered, or when the input ran out (the incomplete last line is then dropped); the status of
  // that partial last line; kBadRootSize; kNoLineBuffer (also for a lineWidth below 1);
  // kBadChain when a code's string would not fit the 4096-symbol stack; or any negative status
  // of PutLine, which stops decoding at once. *badCodeCount (may be null) receives the number of
  // codes that were above the next free dictionary code; such codes are decoded as if they were
  // that code. A stream may start without a clear code.
  int16_t Decode(int32_t lineWidth, int32_t* badCodeCount);

  int16_t rootSize;
  int16_t codeSize;
  int16_t clearCode;
  int16_t endCode;
  int16_t firstFree;
  int16_t topSlot;
  int16_t nextSlot;
  int16_t bitsLeft = 0;  // unread bits of curByte
  uint8_t curByte = 0;
  uint8_t stack[4096];
  CPixelSink* sink;  // not owned
  MemoryBudget* budget;  // not owned; may be null
  int32_t bitOrder;
  bool earlyChange;

 private:
  struct FastState;
  struct LineOutput;
  struct CodeState;
  enum class FastOutcome { kNotRun, kRan, kStopped };

  template <bool kMsb, bool kPlain, class Source>
  int16_t Run(Source& source, uint8_t* line, int32_t lineWidth, CPlainPixelSink* plain,
              bool appending, int32_t* badCodes);
  // Runs RunFast or RunFull from where Run stands when the input holds enough codes for them.
  template <bool kMsb, class Source>
  FastOutcome RunFastLoops(Source& in, LineOutput& o, CodeState& c);
  // Decodes well-formed codes of kSize bits (0: s.size bits) until the next entry reaches
  // s.nextStop, the output reaches s.stop where lines are not handed over, or a code needs the
  // general way.
  template <bool kMsb, int kSize>
  void RunFast(FastState& s);
  // The same once the dictionary is full, until s.codesLeft codes are read.
  template <bool kMsb>
  void RunFull(FastState& s);
  // Hands over or drops the complete lines where a fast loop's output reaches s.stop.
  uint8_t* LineEnd(FastState& s, uint8_t* out);
  // Hands the complete lines at the start of line to the sink and moves the rest to the front.
  // Returns the symbols left, or -1 when the sink said stop; *status is the last PutLine status.
  int32_t Deliver(uint8_t* line, int32_t pos, int32_t lineWidth, int16_t* status);
  // Puts the string of code v (one met after a bad code) into stack from its last symbol to its
  // first, following the chains of prefix_ and suffix_. Returns its length, or -1 when it does not fit the stack.
  int ChainToStack(int v, const CodeState& c, int32_t& bad);
  // Writes the string of a dictionary entry of the given length (valid entries only).
  void WriteString(uint8_t* out, int code, int len) const;
  // The first symbol of a valid entry's string.
  uint8_t FirstSymbol(int code) const;
  // Assigns entry `code`: the string of `old` (of length oldLength, last piece oldTail) followed
  // by `symbol`. Returns the new entry's last piece.
  uint64_t AddEntry(int code, int old, unsigned oldLength, uint64_t oldTail, uint8_t symbol);

  // The dictionary: entry c is the string of entry prefix[c] followed by suffix[c]. Zeroed at
  // construction, so that a chain that reaches entries never assigned (only possible after bad
  // codes) still decodes the same way every time.
  uint8_t suffix_[4096] = {};
  uint16_t prefix_[4096] = {};
  // A second view of the dictionary for writing strings quickly, valid for the entries assigned
  // since the last clear code while no bad code has been seen. Each string is cut into pieces of
  // eight symbols from its start; `tail_` holds its last, possibly shorter, piece (symbols in the
  // low bytes first) and `chunkPrefix_` the entry whose string is everything before that piece.
  // A string is thus written eight symbols at a time, from its end backwards. `length_` is 0 for
  // the clear and end codes and for every entry from the next free one on.
  uint64_t tail_[4096] = {};
  uint16_t length_[4096] = {};
  uint16_t chunkPrefix_[4096] = {};
};

}  // namespace pelmor
