// GIF files built block by block for the tests.
#pragma once

#include "test_support.h"

namespace pelmor::test {

// A colour table: red, green, blue per entry; its entry count must be a power of two, 2 ... 256.
Bytes GifTable(std::initializer_list<uint32_t> rgb);

class GifBuilder {
 public:
  // Header ("GIF" + version) and logical screen; a global table when one is given.
  GifBuilder(int width, int height, const Bytes& globalTable = {}, const char* version = "89a");

  // A graphic control extension: disposal method, transparent index (-1 none), delay in 1/100 s.
  GifBuilder& Control(int disposal, int transparent = -1, int delay = 0, int length = 4);
  // An image: indices row by row in stored order (interlaced frames store the passes in turn).
  // The data is LZW-compressed with the given minimum code size and cut into sub-blocks.
  GifBuilder& Frame(int left, int top, int width, int height, const Bytes& indices,
                    const Bytes& localTable = {}, bool interlaced = false, int codeSize = 2);
  // A frame whose LZW data is given as is (it is still cut into sub-blocks).
  GifBuilder& RawFrame(int left, int top, int width, int height, int codeSize, const Bytes& lzw);
  GifBuilder& Comment(const std::string& text);
  GifBuilder& Trailer();
  Bytes Take() { return w_.Take(); }
  size_t Size() const { return w_.Size(); }

 private:
  void SubBlocks(const Bytes& data);
  ByteWriter w_;
};

// GIF LZW data for the indices (literal codes only, with the code length growing as a decoder
// expects and a clear code whenever the dictionary fills), starting with a clear code.
Bytes GifLzw(const Bytes& indices, int codeSize);

// The interlaced storage order of rows 0 ... height-1.
std::vector<int> InterlacedRows(int height);

}  // namespace pelmor::test
