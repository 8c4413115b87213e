// What the control framework persists for every control before the control's own values: the
// extent and the stock properties.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ole/prop_exchange.h"

namespace pelmor::ole {

// Which stock properties a saved state holds ("_StockProps").
enum StockProp : uint32_t {
  kStockCaption = 0x01,
  kStockForeColor = 0x02,
  kStockBackColor = 0x04,
  kStockFont = 0x08,
  kStockBorderStyle = 0x10,
  kStockEnabled = 0x20,
  kAllStockProps = 0x3F,
};

struct FrameworkProps {
  int32_t extentX = 0;  // HIMETRIC (hundredths of a millimetre)
  int32_t extentY = 0;
  std::string caption;
  uint32_t foreColor = 0;  // OLE colours
  uint32_t backColor = 0;
  FontDesc font;
  int16_t borderStyle = 0;
  bool enabled = true;
  bool operator==(const FrameworkProps&) const = default;
};

// The version of the framework's layout and of the controls' state.
constexpr uint32_t kFrameworkVersion = 0x00010000;

// Exchanges the extent, then every stock property, under the names "_ExtentX", "_ExtentY",
// "_StockProps", "Caption", "ForeColor", "BackColor", "Font", "BorderStyle" and "Enabled". Saving
// stores them all; loading takes each one that is missing (or left out of "_StockProps") from
// `defaults`.
void ExchangeFrameworkProps(PropertyExchange& px, FrameworkProps& props,
                            const FrameworkProps& defaults);

}  // namespace pelmor::ole
