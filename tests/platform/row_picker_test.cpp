#include "platform/row_picker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pelmor::platform {
namespace {

// What a pick must give: out[i] = src[columns[i] - first] & keep.
std::vector<uint32_t> Expected(const std::vector<uint32_t>& src, const std::vector<int32_t>& columns,
                               int32_t first, uint32_t keep) {
  std::vector<uint32_t> out;
  for (int32_t c : columns) out.push_back(src[static_cast<size_t>(c - first)] & keep);
  return out;
}

// Every kind of plan (each source pixel twice from the first painted one, twice but starting on
// a second copy, groups of eight neighbours, pixels one at a time) over sizes around the widths
// of a step, from source rows of every width, with and without the top byte dropped: each pixel
// comes from its column and nothing past the row is written.
TEST(RowPicker, EveryPlanPicksEachPixelFromItsColumn) {
  struct Shape {
    const char* name;
    // The column of painted pixel i for a plan starting at `start`.
    int32_t (*column)(int32_t start, int32_t i);
  };
  const Shape shapes[] = {
      {"doubled", [](int32_t start, int32_t i) { return start + i / 2; }},
      {"doubled from a second copy", [](int32_t start, int32_t i) { return start + (i + 1) / 2; }},
      {"three times", [](int32_t start, int32_t i) { return start + i / 3; }},
      {"every other", [](int32_t start, int32_t i) { return start + 2 * i; }},
      {"mirrored", [](int32_t start, int32_t i) { return start - i / 2; }},
  };
  uint32_t seed = 4242;
  for (const Shape& shape : shapes) {
    for (int32_t count : {1, 2, 7, 15, 16, 17, 18, 31, 32, 33, 47, 1000, 1001}) {
      for (int32_t first : {0, 3}) {
        for (int32_t lead : {0, 5}) {
          const bool mirrored = shape.column(0, 2) < 0;
          const int32_t start = first + lead + (mirrored ? 2 * count : 0);
          std::vector<int32_t> columns;
          int32_t last = first;
          for (int32_t i = 0; i < count; ++i) {
            columns.push_back(shape.column(start, i));
            last = std::max(last, columns.back());
          }
          // The source row ends at the last column read, or runs on a little.
          for (int32_t spare : {0, 9}) {
            const int32_t span = last - first + 1 + spare;
            std::vector<uint32_t> src(static_cast<size_t>(span));
            for (uint32_t& p : src) p = seed = seed * 1103515245u + 12345u;
            RowPicker picker;
            picker.Plan(columns, first, span);
            for (uint32_t keep : {0xFFFFFFFFu, 0x00FFFFFFu}) {
              std::vector<uint32_t> out(static_cast<size_t>(count) + 4, 0xDEADBEEF);
              picker.Pick(src.data(), out.data(), keep);
              const std::vector<uint32_t> want = Expected(src, columns, first, keep);
              const std::string where = std::string(shape.name) + " count " +
                                        std::to_string(count) + " first " + std::to_string(first) +
                                        " lead " + std::to_string(lead) + " spare " +
                                        std::to_string(spare);
              ASSERT_EQ(std::vector<uint32_t>(out.begin(), out.begin() + count), want) << where;
              for (size_t i = static_cast<size_t>(count); i < out.size(); ++i) {
                ASSERT_EQ(out[i], 0xDEADBEEFu) << where;
              }
            }
          }
        }
      }
    }
  }
}

// A plan can be made again for other columns: nothing of the last one is left behind.
TEST(RowPicker, APlanMadeAgainForgetsTheLastOne) {
  std::vector<uint32_t> src(64);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint32_t>(i * 7 + 1);
  std::vector<int32_t> doubled, reversed;
  for (int32_t i = 0; i < 40; ++i) doubled.push_back(10 + i / 2);
  for (int32_t i = 0; i < 40; ++i) reversed.push_back(50 - i);
  RowPicker picker;
  picker.Plan(doubled, 0, 64);
  picker.Plan(reversed, 0, 64);
  std::vector<uint32_t> out(40);
  picker.Pick(src.data(), out.data());
  EXPECT_EQ(out, Expected(src, reversed, 0, 0xFFFFFFFF));
  picker.Plan(doubled, 0, 64);
  picker.Pick(src.data(), out.data());
  EXPECT_EQ(out, Expected(src, doubled, 0, 0xFFFFFFFF));
}

}  // namespace
}  // namespace pelmor::platform
