#include "platform/window/dialog_template.h"

#include <cstdlib>

namespace pelmor::platform {

const DialogItem* DialogTemplate::Find(int32_t id) const {
  for (const DialogItem& item : items) {
    if (item.id == id && id != kNoItemId) return &item;
  }
  return nullptr;
}

DialogBaseUnits BaseUnitsFromFont(int32_t alphabetWidth, int32_t charHeight) {
  return {(alphabetWidth / 26 + 1) / 2, charHeight};
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = int64_t{a} * b;
  // Round half away from zero: add half the divisor in the direction of the result's sign.
  const bool negative = (product < 0) != (c < 0);
  const int64_t half = std::llabs(int64_t{c}) / 2;
  const int64_t magnitude = (std::llabs(product) + half) / std::llabs(int64_t{c});
  const int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return static_cast<int32_t>(result);
}

RECT MapDialogRect(int32_t x, int32_t y, int32_t cx, int32_t cy, DialogBaseUnits units) {
  return {MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(x + cx, units.cx, 4),
          MulDiv(y + cy, units.cy, 8)};
}

}  // namespace pelmor::platform
