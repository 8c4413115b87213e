// Rows of pixels picked from a converted source row by a fixed list of columns (the pixels an
// enlarged or selected row repeats).
#pragma once

#include <cstdint>
#include <vector>

namespace pelmor::platform {

class RowPicker {
 public:
  // out[i] will be src[columns[i] - first] for a source row of `span` pixels starting at column
  // `first`; every such index must lie in [0, span). Throws std::bad_alloc when the plan's memory
  // cannot be had.
  void Plan(const std::vector<int32_t>& columns, int32_t first, int32_t span);
  // Each picked pixel is ANDed with `keep` (raw 32-bit rows carry a byte the painted pixel drops).
  void Pick(const uint32_t* src, uint32_t* out, uint32_t keep = 0xFFFFFFFF) const;
  // Whether the plan doubles each source pixel in turn: such a pick reads half what it writes, and
  // makes a row again from its source row sooner than the row made before can be copied.
  bool Doubles() const { return doubled_; }

 private:
  std::vector<int32_t> index_;  // columns - first
  // Every source pixel from index_[0] on taken twice in turn (an unmirrored enlargement to twice
  // the size, from its first painted pixel): the pixels are doubled with no plan to read.
  bool doubled_ = false;
  // Where each group of eight painted pixels can read eight neighbouring source pixels (an
  // enlarged, unmirrored row: its columns climb by at most seven in eight), and the lane each
  // pixel takes from them. Empty when some group cannot: every pixel is then picked alone.
  std::vector<int32_t> groupStart_;
  std::vector<int32_t> lane_;
};

}  // namespace pelmor::platform
